#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

namespace fs = std::filesystem;

// A sandbox with a log folder and, beside it, a folder the service must never write to. When
// the tests run as root, the server runs as nobody and owns both folders, so only the server's
// own rule keeps it out of the second one, as it would a packaged service.
class TrafficLogTest : public ::testing::Test {
protected:
    TrafficLogTest() : logs(box.Dir().Path() / "logs"), outside(box.Dir().Path() / "outside") {
        fs::create_directories(logs / "sub");
        fs::create_directories(outside);
        box.SetValue("Settings", "LogDirectory", logs.string());
        box.RunUnprivileged();
    }

    void LogPort(int com, const std::string& logFile) {
        box.AddPty(com);
        box.EnablePort(com);
        box.SetValue("Port" + std::to_string(com), "LogFile", logFile);
    }

    // Bytes cross COM com both ways: "up" from a client to the line, "down" back.
    void Traffic(int com, const std::string& up, const std::string& down) {
        TcpClient client;
        ASSERT_TRUE(LogIn(client, box.DataPort(com)));
        ASSERT_TRUE(client.Write(up));
        EXPECT_EQ(box.Pty(com).ReadBytes(up.size()), up);
        ASSERT_TRUE(box.Pty(com).Write(down));
        EXPECT_EQ(client.ReadBytes(down.size()), down);
    }

    // Sends a port settings update for COM com (at position index) and returns the settings
    // report that answers it.
    std::string Update(int index, int com, const std::string& logFile,
                       const std::string& description) {
        TcpClient console;
        if (!console.Connect(box.BasePort())) {
            return "no console";
        }
        const std::string payload = std::to_string(index) + "|TRUE|TRUE|3|" + std::to_string(com) +
                                    "|TRUE|TRUE|2048|1024|9600|n,8,1|0|4|600|0|Mirelo|" + logFile +
                                    "|FALSE||0|Server|" + description;
        console.Write(console::FrameMessage("D1", payload) + "\r\n");
        console::FrameDecoder decoder;
        decoder.Append(console.ReadUntil("\r\nD5|"));
        while (auto frame = decoder.Next()) {
            if (frame->code == "D1") {
                return frame->payload;
            }
        }
        return "no report";
    }

    std::vector<std::string> Outside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(outside)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ServerSandbox box;
    fs::path logs;
    fs::path outside;
};

// Every way out of the log folder, from the store and from the console: "..", an absolute path
// elsewhere, a link to a file outside, a link to a folder outside. Each is reported, the port
// still bridges, and not one byte lands outside; a console update naming such a path changes
// nothing at all.
TEST_F(TrafficLogTest, PathsOutOfTheLogFolderAreRefusedAndNeverWritten) {
    std::ofstream(outside / "crontab") << "# root's\n";
    fs::create_symlink("../outside/crontab", logs / "file-link.log");
    fs::create_symlink("../outside", logs / "folder-link");
    LogPort(1, "../outside/dotdot.log");
    LogPort(2, (outside / "absolute.log").string());
    LogPort(3, "file-link.log");
    LogPort(4, "folder-link/through.log");
    LogPort(5, "com5.log");
    ASSERT_TRUE(StartAndWaitFor(box, {1, 2, 3, 4, 5}));

    EXPECT_TRUE(box.WaitForEvent("M3S1 LogFile '../outside/dotdot.log' of Port1 refused"));
    EXPECT_TRUE(box.WaitForEvent("M3S1 LogFile '" + (outside / "absolute.log").string() +
                                 "' of Port2 refused"));
    EXPECT_TRUE(box.WaitForEvent("M3S2 LogFile 'file-link.log' of Port3 cannot be opened"));
    EXPECT_TRUE(box.WaitForEvent("M3S2 LogFile 'folder-link/through.log' of Port4"));
    for (int com = 1; com <= 5; ++com) {
        Traffic(com, "* * * * * root sh /tmp/x\n", "reply");
    }

    const std::string key = std::string(kServiceKey) + "\\Port5";
    const std::string report = Update(4, 5, "../outside/console.log", "changed");
    EXPECT_NE(report.find("|com5.log|"), std::string::npos) << report;
    EXPECT_EQ(report.find("changed"), std::string::npos) << report;
    EXPECT_TRUE(box.WaitForEvent("M1S4 invalid LogFile '../outside/console.log'"));
    EXPECT_EQ(box.Store().RegReadValue(key, "LogFile"), "com5.log");
    EXPECT_EQ(box.Store().RegReadValue(key, "PortDescription"), "Not Found");
    Traffic(5, "more", "data");
    EXPECT_EQ(box.Stop()->code, 0) << box.Stderr();

    EXPECT_EQ(Outside(), std::vector<std::string>{"crontab"});
    EXPECT_EQ(ReadFile((outside / "crontab").string()), "# root's\n");
    EXPECT_EQ(ReadFile((logs / "com5.log").string()), "* * * * * root sh /tmp/x\nreplymoredata");
}

// The log holds the bytes as they crossed the serial line, in both directions (255 once, though
// the client sees it doubled), in a file of mode 0640; a console update to another name in the
// folder takes effect at once.
TEST_F(TrafficLogTest, LogHoldsTheLineBytesBothWays) {
    LogPort(1, (logs / "com1.log").string());
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    const std::string bytes = AllBytes();
    std::string doubled = bytes;
    doubled.push_back('\xff');

    {
        TcpClient client;
        ASSERT_TRUE(LogIn(client, box.DataPort(1)));
        ASSERT_TRUE(box.Pty(1).Write(bytes));
        EXPECT_EQ(client.ReadBytes(doubled.size()), doubled);
        ASSERT_TRUE(client.Write(doubled));
        EXPECT_EQ(box.Pty(1).ReadBytes(bytes.size()), bytes);
    }
    const std::string report = Update(0, 1, "sub/com1.log", "moved");
    EXPECT_NE(report.find("|sub/com1.log|"), std::string::npos) << report;
    Traffic(1, "up", "down");
    EXPECT_EQ(box.Stop()->code, 0) << box.Stderr();

    const std::string first = (logs / "com1.log").string();
    EXPECT_EQ(ReadFile(first), bytes + bytes);
    EXPECT_EQ(ReadFile((logs / "sub" / "com1.log").string()), "updown");
    struct stat info {};
    ASSERT_EQ(::stat(first.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    if (::geteuid() == 0) {
        EXPECT_EQ(info.st_uid, ServerSandbox::kNobody) << "the server did not run as nobody";
    }
}

}  // namespace
}  // namespace tolvan::e2e
