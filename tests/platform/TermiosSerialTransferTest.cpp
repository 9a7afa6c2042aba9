#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server/platform/TermiosSerialDevice.h"
#include "tests/platform/PtyPair.h"

namespace tolvan {
namespace {

using test::PtyPair;
using test::WaitFor;

std::string AllBytes(int rounds) {
    std::string bytes;
    for (int r = 0; r < rounds; ++r) {
        for (int c = 0; c < 256; ++c) {
            bytes.push_back(static_cast<char>(c));
        }
    }
    return bytes;
}

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return data;
}

class TermiosSerialTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        device_ = std::make_unique<TermiosSerialDevice>([this](int) { return pty_.Path(); });
        device_->SetCommPort(3);
        device_->SetSettings("115200,n,8,1");
        device_->SetOnComm([this](int event) {
            events_.push_back(event);
            if (event == kCommEvReceive && readInHandler_) {
                received_ += device_->Input();
            }
        });
        device_->SetPortOpen(true);
    }

    int Count(int event) const {
        return static_cast<int>(std::count(events_.begin(), events_.end(), event));
    }

    PtyPair pty_;
    std::unique_ptr<TermiosSerialDevice> device_;
    std::vector<int> events_;
    std::string received_;
    bool readInHandler_ = true;
};

// Every byte value, 255, XON/XOFF and CR LF included, passes unchanged both ways.
TEST_F(TermiosSerialTransferTest, AllByteValuesPassBothWays) {
    const std::string bytes = AllBytes(2);
    ASSERT_EQ(pty_.Write(bytes), bytes.size());
    ASSERT_TRUE(WaitFor([&] { return received_.size() >= bytes.size(); }));
    EXPECT_EQ(received_, bytes);

    device_->Output(bytes);
    std::string echoed;
    ASSERT_TRUE(WaitFor([&] {
        echoed += pty_.ReadAll();
        return echoed.size() >= bytes.size();
    }));
    EXPECT_EQ(echoed, bytes);
}

// One notification per arrival; a handler that does not read gets no more until it does.
TEST_F(TermiosSerialTransferTest, ReceiveNotificationWaitsForInput) {
    readInHandler_ = false;
    ASSERT_EQ(pty_.Write("one"), 3U);
    ASSERT_TRUE(WaitFor([&] { return Count(kCommEvReceive) == 1; }));
    ASSERT_EQ(pty_.Write("two"), 3U);
    QTest::qWait(100);
    EXPECT_EQ(Count(kCommEvReceive), 1);

    // Input() delivers everything waiting, also what came after the notification.
    EXPECT_EQ(device_->Input(), "onetwo");
    EXPECT_EQ(device_->Input(), "");
    ASSERT_EQ(pty_.Write("three"), 5U);
    ASSERT_TRUE(WaitFor([&] { return Count(kCommEvReceive) == 2; }));
    EXPECT_EQ(device_->Input(), "three");
}

// 4 MiB from the line arrive complete and in order.
TEST_F(TermiosSerialTransferTest, LargeReceiveLosesNothing) {
    const std::string data = Pattern(4UL * 1024 * 1024);
    std::size_t sent = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (sent < data.size()) {
                sent += pty_.Write(std::string_view(data).substr(sent, 65536));
            }
            return received_.size() >= data.size();
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(received_ == data) << "received " << received_.size() << " bytes, corrupted";
    EXPECT_EQ(Count(kCommEventTxFull), 0);
}

// 4 MiB to the line, handed over as fast as the queue drains, arrive complete and in order.
TEST_F(TermiosSerialTransferTest, LargeTransmitLosesNothing) {
    const std::string data = Pattern(4UL * 1024 * 1024);
    std::size_t handed = 0;
    std::string echoed;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (handed < data.size() && device_->QueuedOutput() < 32768) {
                const std::size_t n = std::min<std::size_t>(16384, data.size() - handed);
                device_->Output(std::string_view(data).substr(handed, n));
                handed += n;
            }
            echoed += pty_.ReadAll();
            return echoed.size() >= data.size();
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(echoed == data) << "echoed " << echoed.size() << " bytes, corrupted";
    EXPECT_EQ(Count(kCommEventTxFull), 0);
}

// When the line does not take data, the queue holds its cap, the surplus is dropped and
// "transmit buffer full" is raised later from the event loop; what was kept goes out in order.
TEST_F(TermiosSerialTransferTest, StalledLineFillsTransmitQueue) {
    device_->SetPortOpen(false);
    device_->SetOutBufferSize(100000);
    device_->SetPortOpen(true);

    const std::string data = Pattern(1024UL * 1024);
    device_->Output(data);
    EXPECT_EQ(device_->QueuedOutput(), 100000U);
    EXPECT_EQ(Count(kCommEventTxFull), 0) << "raised inside the call";
    ASSERT_TRUE(WaitFor([&] { return Count(kCommEventTxFull) == 1; }));

    std::string echoed;
    ASSERT_TRUE(WaitFor([&] {
        echoed += pty_.ReadAll();
        return device_->QueuedOutput() == 0 && echoed.size() > 100000;
    }));
    QTest::qWait(20);
    echoed += pty_.ReadAll();
    EXPECT_GT(echoed.size(), 100000U);
    EXPECT_LT(echoed.size(), data.size());
    EXPECT_TRUE(echoed == data.substr(0, echoed.size())) << "kept bytes out of order";
}

}  // namespace
}  // namespace tolvan
