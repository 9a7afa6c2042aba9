#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

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
    // The exit code and the steps done, once it has ended.
    std::string Finish() {
        const auto status = process_.WaitExit(Millis(15000));
        return (status && status->exited ? "exit " + std::to_string(status->code) : "no exit") +
               "\n" + ReadFile(out_);
    }
    std::string Errors() const { return ReadFile(err_); }

private:
    std::string out_;
    std::string err_;
    ServerProcess process_;
    bool started_ = false;
};

// Some kernels keep no parity on a pseudo-terminal; there the parity is checked in the log.
bool PtyKeepsParity() {
    PseudoTerminal pty;
    termios tio = pty.Attributes();
    tio.c_cflag |= PARENB;
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    tcsetattr(fd, TCSANOW, &tio);
    close(fd);
    return (pty.Attributes().c_cflag & PARENB) != 0;
}

::testing::AssertionResult LineIs(const PseudoTerminal& device, speed_t speed, tcflag_t parity) {
    static const bool keepsParity = PtyKeepsParity();
    const tcflag_t parityBits = keepsParity ? PARENB | PARODD : 0;
    termios tio{};
    const bool set = WaitFor(
        [&] {
            tio = device.Attributes();
            return cfgetospeed(&tio) == speed && (tio.c_cflag & CSIZE) == CS8 &&
                   (tio.c_cflag & parityBits) == (parity & parityBits) &&
                   (tio.c_cflag & CSTOPB) == 0;
        },
        Millis(10000));
    if (set) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "speed code " << cfgetospeed(&tio) << ", c_cflag " << tio.c_cflag;
}

// The client opens at 19200 8E1 and the device is set so; every byte value crosses both
// ways; a later change of the baud rate reaches the device too. No greeting is sent. Run as
// root, the server runs as nobody, as a packaged service would not be root either.
TEST(LineControlRun, PyserialSetsTheLineAndMovesEveryByte) {
    ServerSandbox box;
    box.RunUnprivileged();
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1, "");
    box.SetValue("Port1", "Rfc2217", "True");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    LineClient client(box, {std::to_string(box.DataPort(1)), "open"});
    ASSERT_TRUE(client.Started());
    EXPECT_TRUE(LineIs(device, B19200, PARENB)) << client.Finish() << client.Errors();
    EXPECT_EQ(device.ReadBytes(256, Millis(10000)), AllBytes());
    ASSERT_TRUE(device.Write(AllBytes()));
    EXPECT_TRUE(LineIs(device, B38400, PARENB));
    EXPECT_EQ(client.Finish(), "exit 0\nopened\nbytes crossed\nchanged\n") << client.Errors();
    EXPECT_TRUE(box.WaitForEvent("set the parity to even"));
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
    ASSERT_TRUE(client.WaitForStep("refused")) << client.Finish() << client.Errors();
    EXPECT_TRUE(LineIs(device, B9600, 0));
    std::ofstream(go).put('\n');
    EXPECT_TRUE(LineIs(device, B19200, 0));
    EXPECT_EQ(client.Finish(), "exit 0\nrefused\nchanged\n") << client.Errors();
}

}  // namespace
}  // namespace tolvan::e2e
