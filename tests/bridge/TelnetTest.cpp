#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/bridge/Forwarding.h"
#include "server/bridge/TelnetParser.h"
#include "tests/support/Bytes.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

struct Parsed {
    std::string data;
    std::string reply;
};

Parsed ParseAll(TelnetState& state, std::initializer_list<std::string> chunks) {
    Parsed out;
    for (const auto& chunk : chunks) {
        TelnetParser::Parse(state, chunk, out.data, out.reply);
    }
    return out;
}

TEST(TelnetParserTest, WillAndDoAreRefusedWhereverTheyStand) {
    TelnetState state;
    auto r = ParseAll(state, {Bytes({255, 251, 24})});
    EXPECT_EQ(r.data, "");
    EXPECT_EQ(r.reply, Bytes({255, 254, 24}));

    r = ParseAll(state, {"ab" + Bytes({255, 253, 1}) + "cd"});
    EXPECT_EQ(r.data, "abcd");
    EXPECT_EQ(r.reply, Bytes({255, 252, 1}));
}

TEST(TelnetParserTest, DoubledIacIsOneDataByte) {
    TelnetState state;
    const auto r = ParseAll(state, {"A" + Bytes({255, 255}) + "B"});
    EXPECT_EQ(r.data, "A" + Bytes({255}) + "B");
    EXPECT_EQ(r.reply, "");
}

TEST(TelnetParserTest, WontDontNopAndSubnegotiationAreConsumedSilently) {
    TelnetState state;
    const auto r = ParseAll(state, {"x" + Bytes({255, 252, 3, 255, 254, 5, 255, 241}) + "y" +
                                    Bytes({255, 250, 24, 0, 255, 255, 'V', 'T', 255, 240}) + "z"});
    EXPECT_EQ(r.data, "xyz");
    EXPECT_EQ(r.reply, "");
}

// With line control, a subnegotiation that arrives one byte at a time is handed out once,
// whole, after the data before it; it counts only once COM-PORT-OPTION was agreed.
TEST(TelnetParserTest, ComPortSubnegotiationSplitIntoSingleBytes) {
    const std::string sub = Bytes({255, 250, 44, 10, 255, 255, 255, 240});
    TelnetState state;
    TelnetOutput early;
    for (const char c : sub) {
        TelnetParser::ParseWithComPort(state, std::string_view(&c, 1), early);
    }
    EXPECT_EQ(early.sub, "");

    std::vector<std::string> subs;
    std::string data;
    for (const char c : Bytes({255, 251, 44}) + "x" + sub + "y") {
        TelnetOutput out;
        EXPECT_EQ(TelnetParser::ParseWithComPort(state, std::string_view(&c, 1), out), 1u);
        data += out.data;
        if (!out.sub.empty()) {
            subs.push_back(out.sub);
            EXPECT_EQ(data, "x");
        }
    }
    EXPECT_EQ(subs, std::vector<std::string>{Bytes({44, 10, 255})});
    EXPECT_EQ(data, "xy");
}

TEST(TelnetParserTest, CommandsSplitAcrossChunksKeepTheirMeaning) {
    TelnetState state;
    auto r = ParseAll(state, {"a" + Bytes({255}), Bytes({251}), Bytes({31}) + "b"});
    EXPECT_EQ(r.data, "ab");
    EXPECT_EQ(r.reply, Bytes({255, 254, 31}));

    r = ParseAll(state, {Bytes({255}), Bytes({255}) + "c"});
    EXPECT_EQ(r.data, Bytes({255}) + "c");

    r = ParseAll(state, {Bytes({255, 250, 24}), "junk" + Bytes({255}), Bytes({240}) + "d"});
    EXPECT_EQ(r.data, "d");
    EXPECT_EQ(r.reply, "");
}

TEST(DoubleIacTest, DoublesEveryIacAndReturnsCleanDataUncopied) {
    std::string scratch;
    const std::string clean = "plain text";
    const std::string_view same = DoubleIac(clean, scratch);
    EXPECT_EQ(same.data(), clean.data());
    EXPECT_EQ(DoubleIac(Bytes({255}) + "A" + Bytes({255, 255}), scratch),
              Bytes({255, 255}) + "A" + Bytes({255, 255, 255, 255}));
}

class TelnetPathTest : public ::testing::Test, public FakeServer {};

// Option answers go through the capped output path like any other byte: a peer that offers
// options but never reads is closed once too much waits for it, password or not.
TEST_F(TelnetPathTest, AnswersToAPeerThatNeverReadsAreCapped) {
    const int p = StartPort(1);
    const int c = Connect(p);
    Sock(p, c).bytesQueued = ctx.settings.Output.Hard;
    Sock(p, c).FireDataArrival(Bytes({255, 253, 1}) + "Mirelo\r");
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Slot(p, c).Authenticated, 0);
    EXPECT_EQ(Sock(p, c).state, kSocketClosed);
    EXPECT_TRUE(sink.Contains("M2S13 Connection 1 of Serial Port 1 is not reading"));
}

// Option offers are answered and never reach the line; 255 is undoubled towards the line and
// doubled towards every client.
TEST_F(TelnetPathTest, OptionsAnsweredAndIacUndoubledInDoubledOutForEveryClient) {
    const int p = StartPort(1);
    Port(p).ConnectPassword.clear();
    const int a = Connect(p);
    const int b = Connect(p);
    Sock(p, a).TakeSent();
    Sock(p, b).TakeSent();
    Sock(p, a).FireDataArrival(Bytes({255, 251, 24}));
    EXPECT_EQ(Sock(p, a).TakeSent(), Bytes({255, 254, 24}));
    EXPECT_EQ(Device(p).written, "");
    Sock(p, a).FireDataArrival("ab" + Bytes({255, 253, 1}) + "A" + Bytes({255, 255}) + "B");
    EXPECT_EQ(Sock(p, a).TakeSent(), Bytes({255, 252, 1}));
    EXPECT_EQ(Device(p).written, "abA" + Bytes({255}) + "B");
    Port(p).TraceOn = true;
    Device(p).Receive("A" + Bytes({255}) + "B");
    EXPECT_EQ(Sock(p, a).sent, "A" + Bytes({255, 255}) + "B");
    EXPECT_EQ(Sock(p, b).sent, "A" + Bytes({255, 255}) + "B");
    EXPECT_TRUE(reports.Has("DA 0 1 A" + Bytes({255, 255}) + "B"));
}

}  // namespace
}  // namespace tolvan
