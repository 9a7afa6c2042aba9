#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine; the runs that weigh memory keep it small.
constexpr long kRssMarginKib = 24L * 1024;
#else
constexpr long kRssMarginKib = 6L * 1024;
#endif

// The environment of a server whose memory is weighed.
EnvChanges SmallQuarantine() {
    const char* options = std::getenv("ASAN_OPTIONS");
    std::string value = options != nullptr ? std::string(options) + ":" : std::string();
    return {{"ASAN_OPTIONS", value + "quarantine_size_mb=4:thread_local_quarantine_size_kb=64"}};
}

long VmRssKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int OpenFds(pid_t pid) {
    std::error_code error;
    int count = 0;
    for (auto it =
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

// The console answers a version request: proof that this connection is the console one.
bool ConsoleAnswers(int basePort) {
    TcpClient console;
    return console.Connect(basePort, Millis(1000)) && console.Write("DB|0|\r\n") &&
           console.ReadUntil("\r\n", Millis(2000)).rfind("DB|", 0) == 0;
}

// Bytes the device sends while a test runs: no 255, so the telnet side sees them unchanged.
std::string DeviceBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

// The serial line hangs up in the middle of a transfer: the port is taken out of service at
// the next check, its client is let go, and the server goes on serving its other port.
TEST(Faults, SerialHangUpTakesOnlyThatPortOutOfService) {
    ServerSandbox box;
    box.SetValue("Settings", "ListeningPortCheckInterval", "1");
    PseudoTerminal& lost = box.AddPty(1);
    PseudoTerminal& kept = box.AddPty(2);
    box.EnablePort(1);
    box.EnablePort(2);
    ASSERT_TRUE(StartAndWaitFor(box, {1, 2}));

    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));
    ASSERT_TRUE(lost.Write(DeviceBytes(16UL * 1024)));
    ASSERT_TRUE(client.Write(DeviceBytes(8UL * 1024)));
    ASSERT_FALSE(client.ReadBytes(1024).empty());
    lost.CloseMaster();

    EXPECT_TRUE(box.WaitForEvent("Appears Serial Port 1 has been removed.", Millis(4000)))
        << box.Stderr();
    EXPECT_TRUE(client.WaitClosed(Millis(3000)));
    EXPECT_TRUE(WaitFor([&] { return !IsListening(box.DataPort(1)); }, Millis(3000)));

    ASSERT_TRUE(box.Process().Running());
    TcpClient other;
    ASSERT_TRUE(LogIn(other, box.DataPort(2)));
    ASSERT_TRUE(kept.Write("still here"));
    EXPECT_EQ(other.ReadBytes(10), "still here");
    EXPECT_TRUE(ConsoleAnswers(box.BasePort()));
    EXPECT_EQ(box.Stop()->code, 0);
}

// A client that resets its connection while the server is writing to it costs only that
// connection; the next client is served as before.
TEST(Faults, ClientResetWhileServerWrites) {
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    for (int round = 0; round < 3; ++round) {
        TcpClient client;
        ASSERT_TRUE(LogIn(client, box.DataPort(1)));
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            const std::string chunk = DeviceBytes(4096);
            while (!stop && device.Write(chunk, Millis(500))) {
            }
        });
        client.Drain(64UL * 1024, Millis(2000));
        client.Reset();
        std::this_thread::sleep_for(Millis(100));
        stop = true;
        writer.join();
        device.ReadFor(Millis(50));
    }

    ASSERT_TRUE(box.Process().Running());
    TcpClient next;
    ASSERT_TRUE(LogIn(next, box.DataPort(1)));
    device.ReadFor(Millis(200));  // whatever the writer left in the line
    next.ReadFor(Millis(200));
    ASSERT_TRUE(device.Write("after the reset"));
    EXPECT_EQ(next.ReadBytes(15), "after the reset");
    EXPECT_EQ(box.Stop()->code, 0);
}

// SIGTERM with sixteen ports and clients on each: the server stops cleanly, exits 0, and
// every client sees the end of its connection.
TEST(Faults, StopWithSixteenBusyPorts) {
    ServerSandbox box;
    std::vector<int> coms;
    for (int com = 1; com <= 16; ++com) {
        box.AddPty(com);
        box.EnablePort(com);
        coms.push_back(com);
    }
    ASSERT_TRUE(StartAndWaitFor(box, coms));

    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int com : coms) {
        for (int i = 0; i < 2; ++i) {
            clients.push_back(std::make_unique<TcpClient>());
            ASSERT_TRUE(LogIn(*clients.back(), box.DataPort(com))) << "COM" << com;
        }
        ASSERT_TRUE(box.Pty(com).Write("tick"));
    }

    const std::optional<ExitStatus> status = box.Stop(Millis(10000));
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 0);
    for (auto& client : clients) {
        EXPECT_TRUE(client->WaitClosed(Millis(2000)));
    }
}

// Thousands of short data connections and hundreds of console sessions leave no descriptor
// behind and no lasting growth of memory.
TEST(Faults, ConnectDisconnectCyclesLeakNothing) {
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(StartAndWaitFor(box, {1}, SmallQuarantine()));
    const pid_t pid = box.Process().Pid();

    // The number of cycles that went through, stopping at the first that did not.
    auto dataCycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            TcpClient client;
            // Refused while the server still frees the last slots; try again.
            const bool greeted = WaitFor(
                [&] {
                    client.Close();
                    return client.Connect(box.DataPort(1)) &&
                           client.ReadUntil("Password:", Millis(2000)).ends_with("Password:");
                },
                Millis(5000), Millis(5));
            if (!greeted) {
                return i;
            }
        }
        return count;
    };
    auto consoleCycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            if (!WaitFor([&] { return ConsoleAnswers(box.BasePort()); }, Millis(5000), Millis(5))) {
                return i;
            }
        }
        return count;
    };
    ASSERT_EQ(dataCycles(200), 200);
    ASSERT_EQ(consoleCycles(20), 20);
    ASSERT_TRUE(WaitFor([&] { return IsListening(box.BasePort()); }, Millis(3000)));
    const int fdsBefore = OpenFds(pid);
    const long rssBefore = VmRssKib(pid);

    ASSERT_EQ(dataCycles(2000), 2000);
    ASSERT_EQ(consoleCycles(200), 200);

    EXPECT_TRUE(WaitFor([&] { return OpenFds(pid) <= fdsBefore; }, Millis(5000)))
        << OpenFds(pid) << " descriptors open, " << fdsBefore << " before";
    const long rssAfter = VmRssKib(pid);
    EXPECT_LE(rssAfter - rssBefore, kRssMarginKib)
        << "VmRSS " << rssBefore << " KiB -> " << rssAfter << " KiB";
    EXPECT_TRUE(WaitFor([&] { return ConsoleAnswers(box.BasePort()); }, Millis(3000)));
    EXPECT_EQ(box.Stop()->code, 0);
}

// A client that never reads while two others receive a large serial stream: the readers get
// every byte, the stalled one is dropped after StallSeconds, and memory stays within what the
// hard limit allows one connection.
TEST(Faults, StalledReaderIsDroppedOthersGetEverything) {
    constexpr std::size_t kStream = 12UL * 1024 * 1024;
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Port1", "MaxConnections", "4");
    box.SetValue("Settings", "StallSeconds", "2");
    ASSERT_TRUE(StartAndWaitFor(box, {1}, SmallQuarantine()));
    const pid_t pid = box.Process().Pid();
    const long rssBefore = VmRssKib(pid);

    TcpClient stalled;
    stalled.SetReceiveBuffer(4096);
    ASSERT_TRUE(LogIn(stalled, box.DataPort(1)));
    TcpClient readers[2];
    for (TcpClient& reader : readers) {
        ASSERT_TRUE(LogIn(reader, box.DataPort(1)));
    }

    std::size_t received[2] = {0, 0};
    std::vector<std::thread> threads;
    threads.reserve(2);
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] { received[i] = readers[i].Drain(kStream, Millis(60000)); });
    }
    long rssPeak = 0;
    const std::string chunk = DeviceBytes(64UL * 1024);
    bool written = true;
    for (std::size_t sent = 0; sent < kStream && written; sent += chunk.size()) {
        written = device.Write(chunk, Millis(10000));
        rssPeak = std::max(rssPeak, VmRssKib(pid));
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(written);

    EXPECT_EQ(received[0], kStream);
    EXPECT_EQ(received[1], kStream);
    EXPECT_TRUE(box.WaitForEvent("ended: stalled", Millis(6000)));
    stalled.Drain(kStream, Millis(10000));
    EXPECT_TRUE(stalled.PeerClosed());
    EXPECT_LE(rssPeak - rssBefore, kRssMarginKib + 16L * 1024)
        << "VmRSS " << rssBefore << " KiB -> peak " << rssPeak << " KiB";
    EXPECT_EQ(box.Stop()->code, 0);
}

// A client that offers telnet options without end and never reads the answers: they count
// against the connection's output limits like every other byte, so the client is dropped, the
// server stays small and serves the next client.
TEST(Faults, TelnetOptionFloodFromAClientThatNeverReads) {
    constexpr std::size_t kFloodLimit = 256UL * 1024 * 1024;
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(StartAndWaitFor(box, {1}, SmallQuarantine()));
    const pid_t pid = box.Process().Pid();
    const long rssBefore = VmRssKib(pid);

    TcpClient flood;
    flood.SetReceiveBuffer(4096);
    ASSERT_TRUE(flood.Connect(box.DataPort(1)));
    std::string doOption;
    for (int i = 0; i < 20000; ++i) {
        doOption += "\xff\xfd\x01";
    }
    std::size_t sent = 0;
    long rssPeak = rssBefore;
    while (sent < kFloodLimit && flood.Write(doOption)) {
        sent += doOption.size();
        rssPeak = std::max(rssPeak, VmRssKib(pid));
    }
    EXPECT_LT(sent, kFloodLimit) << "the server kept taking the flood";
    EXPECT_TRUE(box.WaitForEvent("Connection 1 of Serial Port 1 is not reading"));
    flood.Drain(kFloodLimit, Millis(10000));
    EXPECT_TRUE(flood.PeerClosed());
    // The answers wait for the client up to the hard limit of unread output, 32 MiB.
    EXPECT_LT(rssPeak, 128L * 1024) << "VmRSS peak " << rssPeak << " KiB";
    EXPECT_LE(rssPeak - rssBefore, kRssMarginKib + 32L * 1024)
        << "VmRSS " << rssBefore << " KiB -> peak " << rssPeak << " KiB";

    TcpClient next;
    EXPECT_TRUE(LogIn(next, box.DataPort(1)));
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
