#include <gtest/gtest.h>

#include <string>

#include "console_protocol/Frame.h"
#include "tests/e2e/Deadline.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

std::string Frame(std::string_view code, std::string_view payload = {}) {
    return console::FrameMessage(code, payload) + "\r\n";
}

// A second configurator is turned away: its connect fails, or it is closed unanswered.
bool Refused(int port) {
    TcpClient second;
    if (!second.Connect(port, Millis(1000))) {
        return true;
    }
    second.Write(Frame("DB"));
    const std::string answer = second.ReadFor(Millis(500));
    return answer.find("DB|") == std::string::npos;
}

// The real server takes one console at a time on 127.0.0.1:BaseTCPPort, answers the port
// list request, refuses a second console while the first is connected, and saves a port
// settings update in its store.
TEST(ConsoleRun, OneConsoleAnswersAndSavesUpdates) {
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(box.Start());
    ASSERT_TRUE(box.WaitUntilReady()) << box.Stderr();

    TcpClient console;
    ASSERT_TRUE(console.Connect(box.BasePort()));
    ASSERT_TRUE(console.Write(Frame("D3")));
    EXPECT_EQ(console.ReadUntil("D2|4|-2|0\r\n"), "D3|3|1|1\r\nD2|4|-2|0\r\n");

    EXPECT_TRUE(Refused(box.BasePort()));

    const std::string update =
        "0|TRUE|TRUE|2|1|TRUE|TRUE|2048|1024|19200|e,7,1|0|4|600|30|Sesame||FALSE||0|Server|"
        "Bench | scale";
    ASSERT_TRUE(console.Write(Frame("D1", update)));
    const std::string report =
        "0|True|True|2|1|True|True|2048|1024|19200|e,7,1|0|4|600|30|Sesame||False||0|Server|"
        "Bench | scale";
    EXPECT_EQ(console.ReadUntil("D5|3|0|0\r\n"), Frame("D1", report) + Frame("D5", "0|0"));
    const std::string key = std::string(kServiceKey) + "\\Port1";
    EXPECT_EQ(box.Store().RegReadValue(key, "MaxIdletime"), "30");
    EXPECT_EQ(box.Store().RegReadValue(key, "Settings"), "19200,e,7,1");
    EXPECT_EQ(box.Store().RegReadValue(key, "PortDescription"), "Bench | scale");

    // Once the first console has gone, the next one is taken.
    console.Close();
    TcpClient next;
    ASSERT_TRUE(WaitFor([&] { return next.Connect(box.BasePort(), Millis(500)); }, Millis(5000)));
    ASSERT_TRUE(next.Write(Frame("DB")));
    EXPECT_EQ(next.ReadUntil("\r\n"), Frame("DB", "1.0.7|Release Date Mar 18, 2005"));

    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
