#include <gtest/gtest.h>
#include <termios.h>

#include <fstream>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"

namespace tolvan::e2e {
namespace {

// pyserial's rfc2217:// client, run as a child; it prints one line per step done.
class LineClient {
public:
    LineClient(const ServerSandbox& box, const std::vector<std::string>& args)
        : out_(box.Dir().File("client.out")), err_(box.Dir().File("client.err")) {
        std::vector<std::string> all{TOLVAN_LINE_CLIENT};
        all.insert(all.end(), args.begin(), args.end());
        started_ = process_.Start("/usr/bin/python3", all, {}, out_, err_);
    }

    bool Started() const { return started_; }
    bool WaitForStep(const std::string& step) {
        return WaitFor([&] { return ReadFile(out_).find(step) != std::string::npos; },
                       Millis(15000));
    }
    // The exit code, and what it said, once it has ended.
    std::string Finish() {
        const auto status = process_.WaitExit(Millis(15000));
        return (status && status->exited ? "exit " + std::to_string(status->code) : "no exit") +
               "\n" + ReadFile(out_) + ReadFile(err_);
    }

private:
    std::string out_;
    std::string err_;
    ServerProcess process_;
    bool started_ = false;
};

bool LineIs(const PseudoTerminal& device, speed_t speed, tcflag_t parity) {
    return WaitFor(
        [&] {
            const termios tio = device.Attributes();
            return cfgetospeed(&tio) == speed && (tio.c_cflag & CSIZE) == CS8 &&
                   (tio.c_cflag & (PARENB | PARODD)) == parity && (tio.c_cflag & CSTOPB) == 0;
        },
        Millis(10000));
}

// The client opens at 19200 8E1 and the device is set so; every byte value crosses both
// ways; a later change of the baud rate reaches the device too. No greeting is sent.
TEST(LineControlRun, PyserialSetsTheLineAndMovesEveryByte) {
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.SetValue("Port1", "Enabled", "True");
    box.SetValue("Port1", "Rfc2217", "True");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    LineClient client(box, {std::to_string(box.DataPort(1)), "open"});
    ASSERT_TRUE(client.Started());
    EXPECT_TRUE(LineIs(device, B19200, PARENB)) << client.Finish();
    EXPECT_EQ(device.ReadBytes(256, Millis(10000)), AllBytes());
    ASSERT_TRUE(device.Write(AllBytes()));
    EXPECT_TRUE(LineIs(device, B38400, PARENB));
    EXPECT_EQ(client.Finish(), "exit 0\nopened\nbytes crossed\nchanged\n");
    EXPECT_TRUE(box.WaitForEvent("set the baud rate to 38400"));
    // The stored settings are left as they were.
    EXPECT_EQ(
        box.Store().RegReadValue(std::string(kServiceKey) + "\\Port1", "Settings").find("38400"),
        std::string::npos);
}

// Behind a password a change is answered with the value in force and not made; after the
// login it is made.
TEST(LineControlRun, ChangesWaitForTheLogin) {
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1, "Mirelo");
    box.SetValue("Port1", "Rfc2217", "True");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    const std::string go = box.Dir().File("go");
    LineClient client(box, {std::to_string(box.DataPort(1)), "login", "Mirelo", go});
    ASSERT_TRUE(client.Started());
    ASSERT_TRUE(client.WaitForStep("refused")) << client.Finish();
    EXPECT_TRUE(LineIs(device, B9600, 0));
    std::ofstream(go).put('\n');
    EXPECT_TRUE(LineIs(device, B19200, 0));
    EXPECT_EQ(client.Finish(), "exit 0\nrefused\nchanged\n");
}

}  // namespace
}  // namespace tolvan::e2e
