#include <gtest/gtest.h>

#include <filesystem>

#include "server/service/EventSource.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kUsage =
    "Invalid command option...\r\nValid Options are:\r\nTolvanServer -install\r\n"
    "TolvanServer -uninstall\r\n";

// Anything but the known options prints the usage text on standard error and fails.
TEST(ServiceCommandLine, UnknownOptionsPrintUsage) {
    ServerSandbox box;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-x"}, {"-DEBUG"}, {"-debug", "x"}}) {
        const RunResult run = RunToEnd(ServerBinary(), args, box.Environment(),
                                       box.Dir().Path().string(), Millis(10000));
        ASSERT_TRUE(run.status.has_value());
        EXPECT_TRUE(run.status->exited);
        EXPECT_EQ(run.status->code, 2);
        EXPECT_EQ(run.err, kUsage);
        EXPECT_EQ(run.out, "");
    }
}

// -INSTALL writes the unit, registers with systemctl and stores the recovery actions;
// -Uninstall takes the unit away again.
TEST(ServiceCommandLine, InstallAndUninstall) {
    ServerSandbox box;
    EnvChanges env = box.Environment();
    env["TOLVAN_SYSTEMCTL"] = "/bin/true";
    const fs::path unit = box.Dir().Path() / "units" / "TolvanServer.service";
    fs::create_directories(unit.parent_path());

    RunResult run =
        RunToEnd(ServerBinary(), {"-INSTALL"}, env, box.Dir().Path().string(), Millis(10000));
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(run.status->code, 0);
    EXPECT_EQ(run.out, "Tolvan Server installed successfully\r\n");
    ASSERT_TRUE(fs::exists(unit));
    const std::string text = ReadFile(unit.string());
    EXPECT_NE(text.find("ExecStart=" + fs::canonical(ServerBinary()).string() + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("Type=notify"), std::string::npos);

    const std::string serviceKey = kServiceKey;
    EXPECT_EQ(box.Store().RegReadValue(serviceKey, "FailureActions"),
              "0000000000000000000000000300000080510900"
              "0100000060EA00000100000060EA00000100000060EA0000");
    // The event source is registered on every start, install included.
    EXPECT_EQ(box.Store().RegReadValue(
                  "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TolvanServer",
                  "TypesSupported"),
              "007");

    run = RunToEnd(ServerBinary(), {"-Uninstall"}, env, box.Dir().Path().string(), Millis(10000));
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(run.status->code, 0);
    EXPECT_EQ(run.out, "Tolvan Server uninstalled successfully\r\n");
    EXPECT_FALSE(fs::exists(unit));
}

// A failing systemctl fails the installation; no recovery actions are stored.
TEST(ServiceCommandLine, InstallFailsWhenSystemctlFails) {
    ServerSandbox box;
    fs::create_directories(box.Dir().Path() / "units");
    EnvChanges env = box.Environment();
    env["TOLVAN_SYSTEMCTL"] = "/bin/false";

    RunResult run =
        RunToEnd(ServerBinary(), {"-install"}, env, box.Dir().Path().string(), Millis(10000));
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(run.status->code, 1);
    EXPECT_EQ(run.out, "Tolvan Server failed to install\r\n");
    EXPECT_EQ(box.Store().RegReadValue(kServiceKey, "FailureActions"), kNotFound);

    run = RunToEnd(ServerBinary(), {"-uninstall"}, env, box.Dir().Path().string(), Millis(10000));
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(run.status->code, 1);
    EXPECT_EQ(run.out, "Tolvan Server failed to uninstall\r\n");
}

// With -debug and COM1, COM3, COM4 present the server starts, listens on the console and the
// enabled port, and on SIGTERM logs the shut-down and exits 0.
TEST(ServiceRun, DebugStartsAndStopsOnSigterm) {
    ServerSandbox box;
    box.AddPty(1);
    box.AddPty(3);
    box.AddPty(4);
    box.EnablePort(4);
    ASSERT_TRUE(box.Start());
    ASSERT_TRUE(box.WaitUntilReady()) << box.Stderr();
    EXPECT_TRUE(WaitFor([&] { return IsListening(box.DataPort(4)); }, Millis(5000)));
    EXPECT_FALSE(IsListening(box.DataPort(1)));

    const auto status = box.Stop();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 0);

    const auto events = box.Events();
    EXPECT_EQ(CountEvents(events, "Service Starting...."), 1);
    EXPECT_EQ(CountEvents(events, "Received Shut Down Signal"), 1);
    for (const auto& entry : events) {
        EXPECT_NE(entry.type, 1) << entry.text;
    }
    EXPECT_FALSE(IsListening(box.DataPort(4)));
}

// With no serial port at all the server starts; its console listener on 127.0.0.1 at
// BaseTCPPort takes a connection, and it stops cleanly.
TEST(ServiceRun, NoSerialPortStillStartsTheConsole) {
    ServerSandbox box;
    ASSERT_TRUE(box.Start());
    ASSERT_TRUE(box.WaitUntilReady()) << box.Stderr();
    TcpClient console;
    EXPECT_TRUE(console.Connect(box.BasePort()));
    EXPECT_EQ(box.Stop()->code, 0);
    EXPECT_EQ(CountEvents(box.Events(), "Received Shut Down Signal"), 1);
    EXPECT_EQ(CountEvents(box.Events(), "M2S2"), 0);
}

}  // namespace
}  // namespace tolvan::e2e
