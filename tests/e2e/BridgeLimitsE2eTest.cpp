#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

// One enabled port, COM1, on a pseudo-terminal.
class BridgeLimits : public ::testing::Test {
protected:
    BridgeLimits() { box.EnablePort(1); }

    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
};

// The serial byte at position i of the long transfer: every value, 255 included.
char StreamByte(std::uint64_t i) {
    return static_cast<char>((i * 2654435761U) >> 13);
}

// Undoes the doubling of 255 on the fly and compares with StreamByte.
class UndoublingChecker {
public:
    void Feed(const std::string& wire) {
        for (char c : wire) {
            const bool iac = static_cast<unsigned char>(c) == 255;
            if (iac && !pendingIac_) {
                pendingIac_ = true;
                continue;
            }
            if (pendingIac_ && !iac) {
                Mismatch("a single 255");
            }
            pendingIac_ = false;
            if (c != StreamByte(count_)) {
                Mismatch("a wrong byte");
            }
            ++count_;
        }
    }
    std::uint64_t Count() const { return count_; }
    const std::string& FirstFault() const { return firstFault_; }

private:
    void Mismatch(const char* what) {
        if (firstFault_.empty()) {
            firstFault_ = std::string(what) + " at data byte " + std::to_string(count_);
        }
    }

    std::uint64_t count_ = 0;
    bool pendingIac_ = false;
    std::string firstFault_;
};

// Writes the first `total` bytes of the stream to the line as fast as it takes them.
bool WriteStream(PseudoTerminal& device, std::uint64_t total) {
    constexpr std::uint64_t kChunk = 64UL * 1024;
    std::string chunk(kChunk, '\0');
    for (std::uint64_t sent = 0; sent < total; sent += kChunk) {
        for (std::uint64_t i = 0; i < kChunk; ++i) {
            chunk[i] = StreamByte(sent + i);
        }
        if (!device.Write(chunk, Millis(20000))) {
            return false;
        }
    }
    return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 32 MiB from the serial line reach one admitted client complete and in order, with every
// 255 doubled on the wire and nothing else added. The device keeps at most 512 KiB ahead of
// the reader, as a line with flow control would, so that the test does not depend on how fast
// the sanitized server and the reader run.
TEST_F(BridgeLimits, ThirtyTwoMebibytesReachOneClientIntact) {
    constexpr std::uint64_t kTotal = 32ULL * 1024 * 1024;
    constexpr std::uint64_t kChunk = 64UL * 1024;
    constexpr std::uint64_t kAhead = 512UL * 1024;
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));

    std::atomic<std::uint64_t> received{0};
    std::atomic<bool> written{true};
    std::thread writer([&] {
        std::string chunk(kChunk, '\0');
        for (std::uint64_t sent = 0; sent < kTotal && written; sent += kChunk) {
            for (std::uint64_t i = 0; i < kChunk; ++i) {
                chunk[i] = StreamByte(sent + i);
            }
            written = WaitFor([&] { return sent - received < kAhead; }, Millis(20000), Millis(1)) &&
                      device.Write(chunk, Millis(20000));
        }
    });
    UndoublingChecker checker;
    const Deadline deadline(Millis(50000));
    while (checker.Count() < kTotal && !deadline.Passed() && !client.PeerClosed()) {
        checker.Feed(client.ReadBytes(256UL * 1024, Millis(20)));
        received = checker.Count();
    }
    writer.join();

    EXPECT_TRUE(written);
    EXPECT_EQ(checker.Count(), kTotal) << box.Stderr();
    EXPECT_EQ(checker.FirstFault(), "");
    EXPECT_EQ(client.ReadFor(Millis(200)), "");  // nothing beyond the stream
    EXPECT_EQ(box.Stop()->code, 0);
}

// A burst of 8 MiB from the line at full speed with two clients: the one that reads gets
// every byte though it falls behind for a while; the one that reads nothing is closed once it
// has stayed above the soft limit for StallSeconds, and the event says so.
TEST_F(BridgeLimits, BurstKeepsTheReaderAndClosesTheStalledClient) {
    constexpr std::uint64_t kTotal = 8ULL * 1024 * 1024;
    box.SetValue("Settings", "StallSeconds", "3");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient reader;
    TcpClient stalled;
    ASSERT_TRUE(LogIn(reader, box.DataPort(1)));
    ASSERT_TRUE(LogIn(stalled, box.DataPort(1)));

    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> written{false};
    std::thread writer([&] { written = WriteStream(device, kTotal); });
    UndoublingChecker checker;
    const Deadline deadline(Millis(30000));
    while (checker.Count() < kTotal && !deadline.Passed() && !reader.PeerClosed()) {
        checker.Feed(reader.ReadBytes(256UL * 1024, Millis(20)));
    }
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(checker.Count(), kTotal) << box.Stderr();
    EXPECT_EQ(checker.FirstFault(), "");

    EXPECT_TRUE(box.WaitForEvent("connection 2 from 127.0.0.1 ended: stalled", Millis(10000)));
    EXPECT_GE(SecondsSince(start), 2.9);
    EXPECT_TRUE(stalled.WaitClosed());
    ASSERT_TRUE(device.Write("still here"));
    EXPECT_EQ(reader.ReadBytes(10), "still here");
    EXPECT_EQ(box.Stop()->code, 0);
}

// A client that reads nothing while the line sends far more than the hard limit is closed at
// once, long before StallSeconds; the line is never held up for it.
TEST_F(BridgeLimits, HardLimitClosesANonReaderAtOnce) {
    box.SetValue("Settings", "StallSeconds", "600");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient stalled;
    ASSERT_TRUE(LogIn(stalled, box.DataPort(1)));

    std::atomic<bool> written{false};
    std::thread writer([&] { written = WriteStream(device, 48ULL * 1024 * 1024); });
    EXPECT_TRUE(
        box.WaitForEvent("connection 1 from 127.0.0.1 ended: unread output reached the "
                         "hard limit",
                         Millis(30000)));
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(stalled.WaitClosed());
    TcpClient next;
    ASSERT_TRUE(LogIn(next, box.DataPort(1)));
    ASSERT_TRUE(device.Write("next"));
    EXPECT_EQ(next.ReadBytes(4), "next");
    EXPECT_EQ(box.Stop()->code, 0);
}

// With MaxConnections 3 the fourth client is turned away; as soon as one of the three
// leaves, the next client is greeted, and the others keep their connections.
TEST_F(BridgeLimits, FourthClientRefusedUntilOneLeaves) {
    box.SetValue("Port1", "MaxConnections", "3");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    TcpClient clients[3];
    for (TcpClient& client : clients) {
        ASSERT_TRUE(LogIn(client, box.DataPort(1)));
    }
    EXPECT_TRUE(TurnedAway(box.DataPort(1)));

    clients[1].Close();
    TcpClient next;
    EXPECT_TRUE(WaitFor(
        [&] {
            return next.Connect(box.DataPort(1), Millis(500)) &&
                   next.ReadUntil("Password:", Millis(500)).ends_with("Password:");
        },
        Millis(3000)));
    ASSERT_TRUE(next.Write("Mirelo\r"));
    ASSERT_TRUE(next.ReadUntil("Connected....\r\n").ends_with("Connected....\r\n"));
    EXPECT_TRUE(TurnedAway(box.DataPort(1)));

    ASSERT_TRUE(device.Write("all three"));
    EXPECT_EQ(clients[0].ReadBytes(9), "all three");
    EXPECT_EQ(clients[2].ReadBytes(9), "all three");
    EXPECT_EQ(next.ReadBytes(9), "all three");
    EXPECT_EQ(box.Stop()->code, 0);
}

// Sits between a client and the server and keeps a copy of what each side sent.
class CapturingRelay {
public:
    explicit CapturingRelay(int targetPort) : targetPort_(targetPort) {
        if (!front_.Listen()) {
            throw std::runtime_error("relay cannot listen");
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~CapturingRelay() {
        stop_ = true;
        thread_.join();
    }

    int Port() const { return front_.Port(); }
    std::string FromServer() const { return Copy(fromServer_); }
    std::string FromClient() const { return Copy(fromClient_); }

private:
    std::string Copy(const std::string& text) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return text;
    }

    void Run() {
        const Deadline deadline(Millis(10000));
        while (!stop_ && !front_.Accept(Millis(50))) {
            if (deadline.Passed()) {
                return;
            }
        }
        if (!stop_ && back_.Connect(targetPort_)) {
            while (!stop_ && !front_.PeerClosed() && !back_.PeerClosed()) {
                Pass(front_, back_, fromClient_);
                Pass(back_, front_, fromServer_);
            }
        }
        front_.Close();
        back_.Close();
    }

    void Pass(TcpClient& from, TcpClient& to, std::string& copy) {
        const std::string got = from.ReadFor(Millis(20));
        if (!got.empty()) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                copy += got;
            }
            to.Write(got);
        }
    }

    const int targetPort_;
    TcpListener front_;
    TcpClient back_;
    mutable std::mutex mutex_;
    std::string fromServer_;
    std::string fromClient_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Debian's telnet run as a child whose keyboard is a pipe and whose screen is a file.
class TelnetChild {
public:
    TelnetChild(int port, const std::string& screenPath) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const int screen = ::open(screenPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(pipeFds[0], STDIN_FILENO);
            ::dup2(screen, STDOUT_FILENO);
            ::dup2(screen, STDERR_FILENO);
            // A port written as "-port" makes telnet offer its options as it does on port 23.
            const std::string portArg = "-" + std::to_string(port);
            ::execlp("telnet", "telnet", "--", "127.0.0.1", portArg.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFds[0]);
        keyboard_ = pipeFds[1];
    }
    ~TelnetChild() {
        ::close(keyboard_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Type(const std::string& text) {
        return ::write(keyboard_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

private:
    pid_t pid_ = -1;
    int keyboard_ = -1;
};

// The replies the server owes: DONT for every WILL the client offered, WONT for every DO.
std::string RefusalsFor(const std::string& offers) {
    std::string replies;
    for (std::size_t i = 0; i + 2 < offers.size(); ++i) {
        if (static_cast<unsigned char>(offers[i]) != 255) {
            continue;
        }
        const auto verb = static_cast<unsigned char>(offers[i + 1]);
        if (verb == 251 || verb == 253) {
            replies += '\xff';
            replies += static_cast<char>(verb == 251 ? 254 : 252);
            replies += offers[i + 2];
        }
    }
    return replies;
}

// A real telnet client that offers its options: every offer is refused, the prompt and the
// password work, and what it types reaches the line without any negotiation bytes.
TEST_F(BridgeLimits, RealTelnetClientIsRefusedEveryOptionAndWorks) {
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    CapturingRelay relay(box.DataPort(1));
    const std::string screen = box.Dir().File("telnet.out");
    TelnetChild telnet(relay.Port(), screen);

    ASSERT_TRUE(WaitFor([&] { return relay.FromServer().find("Password:") != std::string::npos; },
                        Millis(5000)))
        << ReadFile(screen);
    ASSERT_TRUE(telnet.Type("Mirelo\n"));
    ASSERT_TRUE(
        WaitFor([&] { return relay.FromServer().find("Connected....\r\n") != std::string::npos; },
                Millis(3000)))
        << ReadFile(screen);
    EXPECT_EQ(device.ReadFor(Millis(300)), "");
    ASSERT_TRUE(telnet.Type("hello\n"));
    EXPECT_EQ(device.ReadUntil("\n"), "hello\r\n");
    ASSERT_TRUE(device.Write("from the line"));
    EXPECT_TRUE(WaitFor([&] { return ReadFile(screen).find("from the line") != std::string::npos; },
                        Millis(3000)));

    const std::string offers = relay.FromClient();
    const std::string fromServer = relay.FromServer();
    const std::string refusals = RefusalsFor(offers);
    ASSERT_FALSE(refusals.empty()) << "telnet offered nothing";
    // The server sends its prompt as soon as the connection is up, so it may stand anywhere.
    std::string seen = fromServer;
    for (const char* text : {"\r\nPassword:", "\r\nConnected....\r\n", "from the line"}) {
        const auto at = seen.find(text);
        ASSERT_NE(at, std::string::npos) << text;
        seen.erase(at, std::string(text).size());
    }
    EXPECT_EQ(seen, refusals) << "the server sent more than refusals and text";
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
