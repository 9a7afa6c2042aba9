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

// The real server answers consoles side by side on 127.0.0.1:BaseTCPPort: each gets the
// answers to its own requests, both see an update, which is saved in the store.
TEST(ConsoleRun, ConsolesSideBySideAnswerAndSaveUpdates) {
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(box.Start());
    ASSERT_TRUE(box.WaitUntilReady()) << box.Stderr();

    TcpClient console;
    TcpClient second;
    ASSERT_TRUE(console.Connect(box.BasePort()));
    ASSERT_TRUE(second.Connect(box.BasePort()));
    ASSERT_TRUE(console.Write(Frame("D3")));
    ASSERT_TRUE(second.Write(Frame("DB")));
    EXPECT_EQ(console.ReadUntil("D2|4|-2|0\r\n"), "D3|3|1|1\r\nD2|4|-2|0\r\n");
    EXPECT_EQ(second.ReadUntil("\r\n"), Frame("DB", "1.0.7|Release Date Mar 18, 2005"));

    const std::string update =
        "0|TRUE|TRUE|2|1|TRUE|TRUE|2048|1024|19200|n,8,1|0|4|600|30|Sesame||FALSE||0|Server|"
        "Bench | scale";
    ASSERT_TRUE(console.Write(Frame("D1", update)));
    const std::string report =
        "0|True|True|2|1|True|True|2048|1024|19200|n,8,1|0|4|600|30|Sesame||False||0|Server|"
        "Bench | scale";
    const std::string reports = Frame("D1", report) + Frame("D5", "0|0");
    EXPECT_EQ(console.ReadUntil("D5|3|0|0\r\n"), reports);
    EXPECT_EQ(second.ReadUntil("D5|3|0|0\r\n"), reports);
    const std::string key = std::string(kServiceKey) + "\\Port1";
    EXPECT_EQ(box.Store().RegReadValue(key, "MaxIdletime"), "30");
    EXPECT_EQ(box.Store().RegReadValue(key, "Settings"), "19200,n,8,1");
    EXPECT_EQ(box.Store().RegReadValue(key, "PortDescription"), "Bench | scale");

    // One console going leaves the other served.
    console.Close();
    ASSERT_TRUE(second.Write(Frame("D7", "0")));
    EXPECT_TRUE(second.ReadUntil("\r\n").starts_with("D7|"));

    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
