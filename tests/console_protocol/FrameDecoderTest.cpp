#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"

namespace tolvan::console {
namespace {

// Feeds bytes to a decoder and collects every frame it hands out and every bad-frame report.
class Receiver {
public:
    Receiver() : decoder_([this](const std::string& d) { reports.push_back(d); }) {}

    void Receive(std::string_view bytes) {
        decoder_.Append(bytes);
        while (std::optional<Frame> frame = decoder_.Next()) {
            frames.push_back(std::move(*frame));
        }
    }
    std::string_view Buffered() const { return decoder_.Buffered(); }
    // The frames handed out so far, each as "code payload".
    std::vector<std::string> Got() const {
        std::vector<std::string> got;
        for (const Frame& frame : frames) {
            got.push_back(frame.code + " " + frame.payload);
        }
        return got;
    }

    std::vector<Frame> frames;
    std::vector<std::string> reports;

private:
    FrameDecoder decoder_;
};

std::string Wire(std::string_view code, std::string_view payload) {
    return FrameMessage(code, payload) + "\r\n";
}

TEST(FrameMessageTest, LengthCountsPayloadOnly) {
    EXPECT_EQ(FrameMessage("D3", ""), "D3|0|");
    EXPECT_EQ(FrameMessage("DA", "0|1|2|a|b"), "DA|9|0|1|2|a|b");
    EXPECT_EQ(FrameMessage("D1", std::string(1234, 'x')).substr(0, 8), "D1|1234|");
}

// A frame is handed out once, only after its last byte arrived, however the bytes are cut.
TEST(FrameDecoderTest, FrameSplitOverReadsIsDecodedOnce) {
    const std::string wire = Wire("DA", "0|3|1|hello|world");
    Receiver byteByByte;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        byteByByte.Receive(wire.substr(i, 1));
        const bool payloadComplete = i + 1 >= wire.size() - 2;
        EXPECT_EQ(byteByByte.frames.size(), payloadComplete ? 1u : 0u) << "after byte " << i;
    }
    EXPECT_EQ(byteByByte.Got(), std::vector<std::string>{"DA 0|3|1|hello|world"});

    Receiver twoReads;
    twoReads.Receive("D5|3|12");
    EXPECT_TRUE(twoReads.frames.empty());
    EXPECT_EQ(twoReads.Buffered(), "D5|3|12");
    twoReads.Receive("3\r\nD7|1|0\r\n");
    EXPECT_EQ(twoReads.Got(), (std::vector<std::string>{"D5 123", "D7 0"}));
    EXPECT_TRUE(twoReads.reports.empty());
}

// Reads given one after the other: the frames handed out and what still waits. Stray bytes
// before a frame are skipped; leftovers of a partial frame count toward its payload; the CR LF
// after the last frame waits to be discarded, never handed out.
TEST(FrameDecoderTest, ReadsGiveTheirFramesInOrder) {
    struct Case {
        std::vector<std::string> reads;
        std::vector<std::string> frames;
        std::string buffered;
    };
    for (const Case& c : std::vector<Case>{
             {{Wire("D3", "2|1|4") + Wire("D2", "-2|0")}, {"D3 2|1|4", "D2 -2|0"}, "\r\n"},
             {{"DB|0|\r\n"}, {"DB "}, "\r\n"},
             {{"xy" + Wire("D7", "5")}, {"D7 5"}, "\r\n"},
             {{"D1|10|abc", "defghij\r\nD8|1|2\r\nD"}, {"D1 abcdefghij", "D8 2"}, "\r\nD"}}) {
        Receiver r;
        for (const std::string& read : c.reads) {
            r.Receive(read);
        }
        EXPECT_EQ(r.Got(), c.frames) << c.reads[0];
        EXPECT_EQ(r.Buffered(), c.buffered) << c.reads[0];
        EXPECT_TRUE(r.reports.empty()) << c.reads[0];
    }
}

TEST(FrameDecoderTest, ThreeCharactersThatStartNoFrameStayBuffered) {
    Receiver r;
    r.Receive("abc");
    EXPECT_EQ(r.Buffered(), "abc");
    r.Receive("d");
    EXPECT_EQ(r.Buffered(), "bcd");
    r.Receive("|0|");
    // "bcd|0|" -> "cd|0|" starts a frame with code "cd".
    EXPECT_EQ(r.Got(), std::vector<std::string>{"cd "});
}

TEST(FrameDecoderTest, PayloadMayCarrySeparatorsAndLineBreaks) {
    Receiver r;
    const std::string text = "line one\r\nD3|0|\r\nline|two";
    r.Receive(Wire("DA", TraceEventPayload(0, 3, 1, text)));
    ASSERT_EQ(r.frames.size(), 1u);
    const std::vector<std::string> fields = SplitFields(r.frames[0].payload, kTraceFieldCount);
    EXPECT_EQ(fields, (std::vector<std::string>{"0", "3", "1", text}));
}

TEST(FrameDecoderTest, BadLengthReportedOnceAndSkipped) {
    Receiver r;
    r.Receive("D1|1x|abc\r\n" + Wire("D3", ""));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0], "bad frame length \"1x\"");
    EXPECT_EQ(r.Got(), std::vector<std::string>{"D3 "});

    // A later, separate fault is reported again once a good frame came in between.
    r.Receive("D2|-1|5\r\n" + Wire("D5", "1"));
    ASSERT_EQ(r.reports.size(), 2u);
    EXPECT_EQ(r.reports[1], "bad frame length \"-1\"");
    EXPECT_EQ(r.Got(), (std::vector<std::string>{"D3 ", "D5 1"}));
}

TEST(FrameDecoderTest, EmptyLengthIsBad) {
    Receiver r;
    r.Receive("D3||\r\n" + Wire("DB", ""));
    EXPECT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.Got(), std::vector<std::string>{"DB "});
}

TEST(FrameDecoderTest, OversizedLengthIsSkipped) {
    Receiver r;
    r.Receive("D1|" + std::to_string(kMaxPayload + 1) + "|abc\r\n" + Wire("D7", "0"));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.Got(), std::vector<std::string>{"D7 0"});

    // Exactly the limit is still a frame.
    Receiver largest;
    largest.Receive(Wire("DA", std::string(kMaxPayload, 'z')));
    ASSERT_EQ(largest.frames.size(), 1u);
    EXPECT_EQ(largest.frames[0].payload.size(), kMaxPayload);
    EXPECT_TRUE(largest.reports.empty());
}

// Digits that never end in a separator must not pile up in the buffer.
TEST(FrameDecoderTest, EndlessLengthDigitsAreDropped) {
    Receiver r;
    r.Receive("D1|");
    for (int i = 0; i < 10000; ++i) {
        r.Receive("9");
        ASSERT_LE(r.Buffered().size(), 3 + kMaxLengthDigits);
    }
    EXPECT_EQ(r.reports.size(), 1u);
    r.Receive("\r\n" + Wire("D2", "4"));
    EXPECT_EQ(r.Got(), std::vector<std::string>{"D2 4"});
}

// The verdict on a length field does not depend on how the bytes were cut.
TEST(FrameDecoderTest, LeadingZerosAcceptedWithinDigitLimit) {
    for (const std::string wire : {"D2|00000001|7\r\n", "D2|000000001|7\r\n"}) {
        Receiver whole;
        whole.Receive(wire);
        Receiver bytes;
        for (char c : wire) {
            bytes.Receive(std::string(1, c));
        }
        EXPECT_EQ(whole.frames.size(), bytes.frames.size()) << wire;
        EXPECT_EQ(whole.reports.size(), bytes.reports.size()) << wire;
    }
    Receiver r;
    r.Receive("D2|00000001|7");
    EXPECT_EQ(r.Got(), std::vector<std::string>{"D2 7"});
}

TEST(FrameDecoderTest, ManyFramesInOneBigRead) {
    std::string wire;
    constexpr int kCount = 20000;
    for (int i = 0; i < kCount; ++i) {
        wire += Wire(i % 2 ? "D7" : "DA", std::to_string(i));
    }
    Receiver r;
    r.Receive(wire);
    ASSERT_EQ(r.frames.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(r.frames[i].payload, std::to_string(i));
        ASSERT_EQ(r.frames[i].code, i % 2 ? "D7" : "DA");
    }
    EXPECT_EQ(r.Buffered(), "\r\n");
}

TEST(FrameDecoderTest, ClearDropsEverything) {
    FrameDecoder decoder;
    decoder.Append("D1|5|ab");
    decoder.Clear();
    EXPECT_TRUE(decoder.Buffered().empty());
    decoder.Append(Wire("D3", ""));
    const std::optional<Frame> frame = decoder.Next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->code, "D3");
}

TEST(SplitFieldsTest, LimitKeepsRestWhole) {
    std::vector<std::string> settings(kSettingsFieldCount, "x");
    settings.back() = "desk|left|top";
    const std::vector<std::string> fields = SplitFields(JoinFields(settings), kSettingsFieldCount);
    ASSERT_EQ(fields.size(), 22u);
    EXPECT_EQ(fields[21], "desk|left|top");
    EXPECT_EQ(fields[20], "x");

    EXPECT_EQ(SplitFields("a|b|c|d|e", 0).size(), 5u);
    EXPECT_EQ(SplitFields("a|b|c", 1), std::vector<std::string>{"a|b|c"});
    EXPECT_EQ(SplitFields("a|b", 4), (std::vector<std::string>{"a", "b"}));
}

TEST(SplitFieldsTest, EmptyFieldsAndEmptyPayload) {
    EXPECT_TRUE(SplitFields("").empty());
    EXPECT_TRUE(SplitFields("", 22).empty());
    EXPECT_EQ(SplitFields("|"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(SplitFields(TraceSwitchPayload(3, true)), (std::vector<std::string>{"3", "ON", ""}));
    EXPECT_EQ(SplitFields("0"), std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace tolvan::console
