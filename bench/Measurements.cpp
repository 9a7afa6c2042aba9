#include "bench/Measurements.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include "bench/Clock.h"
#include "bench/ProcessStats.h"

namespace tolvan::bench {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr Millis kTransferLimit(60000);
constexpr Millis kStepLimit(2000);
constexpr double kLineStallSeconds = 5;  // no room on the line for this long: paused
constexpr double kPacedBlock = 64 * 1024;
constexpr std::size_t kMessageSize = 32;
constexpr int kWarmUpRoundTrips = 20;
constexpr std::size_t kMaxRoundTrips = 20000;
constexpr int kMaxConnections = 50000;
constexpr int kMaxConnectFailures = 5;

std::uint64_t Bytes(double mb) {
    return static_cast<std::uint64_t>(mb * 1e6);
}

// Writes all of data to a non-blocking descriptor within the time given.
bool WriteAll(int fd, const char* data, std::size_t size, Millis within) {
    const Deadline deadline(within);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, deadline.PollMillis()) != 1) {
            return false;
        }
    }
    return true;
}

void Require(bool ok, const std::string& what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[at];
}

}  // namespace

Measurements::Measurements(const BenchOptions& options, PseudoLine& line)
    : options_(options), line_(line), buffer_(kBufferSize) {}

std::vector<TcpClient> Measurements::ConnectClients(int port, int count,
                                                    const BridgeTraits& traits) {
    std::vector<TcpClient> clients(static_cast<std::size_t>(count));
    for (TcpClient& client : clients) {
        // A bridge that was full closes its listener until it has noticed a client leave.
        const Deadline deadline(kStepLimit);
        while (!client.Connect(port, kStepLimit)) {
            Require(!deadline.Passed(), "connect refused");
            std::this_thread::sleep_for(Millis(10));
        }
    }
    if (!traits.greeting.empty()) {
        for (TcpClient& client : clients) {
            // The bridge may not have freed the slots of the previous measurement yet; a
            // connection it refused for that is made again.
            bool greeted = client.Expect(traits.greeting, kStepLimit);
            for (int attempt = 0; !greeted && attempt < kMaxConnectFailures * 4; ++attempt) {
                std::this_thread::sleep_for(Millis(20));
                greeted =
                    client.Connect(port, kStepLimit) && client.Expect(traits.greeting, kStepLimit);
            }
            Require(greeted, "no greeting");
        }
    }
    return clients;
}

void Measurements::NotePeak(BridgeProcess& bridge, Metrics& out) {
    const double peak = ProcessStats::PeakRssMb(bridge.Pid());
    out["peak_rss_MB"] = std::max(out["peak_rss_MB"], peak);
}

bool Measurements::EchoLine() {
    const ssize_t n = ::read(line_.Master(), buffer_.data(), buffer_.size());
    if (n > 0) {
        return WriteAll(line_.Master(), buffer_.data(), static_cast<std::size_t>(n), kStepLimit);
    }
    return n == 0 || errno == EAGAIN || errno == EINTR;
}

void Measurements::SerialToTcp(BridgeProcess& bridge, const BridgeTraits& traits, int clients,
                               double mb, const std::string& prefix, Metrics& out) {
    std::vector<TcpClient> sockets = ConnectClients(bridge.Port(1), clients, traits);
    line_.Drain();
    const std::uint64_t total = Bytes(mb);
    std::vector<std::unique_ptr<StreamVerifier>> verifiers;
    for (int i = 0; i < clients; ++i) {
        verifiers.push_back(
            std::make_unique<StreamVerifier>(withIac_, total, true, traits.doubledIac));
    }
    std::vector<pollfd> fds(static_cast<std::size_t>(clients) + 1);
    const auto fillClients = [&] {
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            fds[i] = {verifiers[i]->Done() ? -1 : sockets[i].Fd(), POLLIN, 0};
        }
    };
    const auto feed = [&](std::size_t i) {
        const ssize_t n = ::recv(sockets[i].Fd(), buffer_.data(), buffer_.size(), 0);
        Require(n > 0 || (n < 0 && errno == EAGAIN), "connection closed by the bridge");
        if (n > 0) {
            if (!verifiers[i]->Feed(buffer_.data(), static_cast<std::size_t>(n))) {
                throw std::runtime_error("client " + std::to_string(i) + ": " +
                                         verifiers[i]->Error());
            }
        }
    };
    // Until every client has seen a sync byte, the bridge may not have them all attached yet.
    const Deadline syncDeadline(Millis(5000));
    const auto allSynced = [&] {
        return std::all_of(verifiers.begin(), verifiers.end(),
                           [](const auto& v) { return v->SeenAnything(); });
    };
    while (!allSynced()) {
        Require(!syncDeadline.Passed(), "sync bytes never arrived");
        const char sync = StreamVerifier::kSync;
        Require(WriteAll(line_.Master(), &sync, 1, kStepLimit), "serial line stuck");
        fillClients();
        if (::poll(fds.data(), sockets.size(), 20) > 0) {
            for (std::size_t i = 0; i < sockets.size(); ++i) {
                if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    feed(i);
                }
            }
        }
    }

    const double cpu0 = ProcessStats::CpuSeconds(bridge.Pid());
    const Clock::time_point start = Clock::now();
    const char go = StreamVerifier::kStart;
    Require(WriteAll(line_.Master(), &go, 1, kStepLimit), "serial line stuck");
    std::uint64_t sent = 0;
    const Deadline deadline(kTransferLimit);
    while (
        !std::all_of(verifiers.begin(), verifiers.end(), [](const auto& v) { return v->Done(); })) {
        Require(!deadline.Passed(), "transfer timed out");
        fillClients();
        fds.back() = {sent < total ? line_.Master() : -1, POLLOUT, 0};
        Require(::poll(fds.data(), fds.size(), 1000) >= 0, "poll failed");
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                feed(i);
            }
        }
        if ((fds.back().revents & POLLOUT) != 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(total - sent, kWriteChunk));
            const std::string_view piece = withIac_.Piece(sent, chunk);
            const ssize_t n = ::write(line_.Master(), piece.data(), piece.size());
            Require(n > 0 || errno == EAGAIN, "serial line write failed");
            sent += n > 0 ? static_cast<std::uint64_t>(n) : 0;
        }
    }
    const double seconds = SecondsSince(start);
    const double cpu = ProcessStats::CpuSeconds(bridge.Pid()) - cpu0;
    const double delivered = static_cast<double>(total) * clients;
    NotePeak(bridge, out);
    out[prefix + "_MBps"] = delivered / seconds / 1e6;
    out[prefix + "_cpu_s_per_GB"] = cpu / (delivered / 1e9);
}

void Measurements::TcpToSerial(BridgeProcess& bridge, const BridgeTraits& traits, double mb,
                               Metrics& out) {
    std::vector<TcpClient> sockets = ConnectClients(bridge.Port(1), 1, traits);
    line_.Drain();
    const std::uint64_t total = Bytes(mb);
    StreamVerifier verifier(noIac_, total, false, false);
    const double cpu0 = ProcessStats::CpuSeconds(bridge.Pid());
    const Clock::time_point start = Clock::now();
    std::uint64_t sent = 0;
    const Deadline deadline(kTransferLimit);
    while (!verifier.Done()) {
        Require(!deadline.Passed(), "transfer timed out");
        pollfd fds[2] = {{line_.Master(), POLLIN, 0},
                         {sent < total ? sockets[0].Fd() : -1, POLLOUT, 0}};
        Require(::poll(fds, 2, 1000) >= 0, "poll failed");
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(line_.Master(), buffer_.data(), buffer_.size());
            if (n > 0) {
                if (!verifier.Feed(buffer_.data(), static_cast<std::size_t>(n))) {
                    throw std::runtime_error("serial line: " + verifier.Error());
                }
            }
        }
        if ((fds[1].revents & POLLOUT) != 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(total - sent, kWriteChunk));
            const std::string_view piece = noIac_.Piece(sent, chunk);
            const ssize_t n = ::send(sockets[0].Fd(), piece.data(), piece.size(), MSG_NOSIGNAL);
            Require(n > 0 || errno == EAGAIN, "connection closed by the bridge");
            sent += n > 0 ? static_cast<std::uint64_t>(n) : 0;
        }
    }
    const double seconds = SecondsSince(start);
    const double cpu = ProcessStats::CpuSeconds(bridge.Pid()) - cpu0;
    NotePeak(bridge, out);
    out["t2s_MBps"] = static_cast<double>(total) / seconds / 1e6;
    out["t2s_cpu_s_per_GB"] = cpu / (static_cast<double>(total) / 1e9);
}

void Measurements::RoundTrip(BridgeProcess& bridge, const BridgeTraits& traits, Metrics& out) {
    std::vector<TcpClient> sockets = ConnectClients(bridge.Port(1), 1, traits);
    TcpClient& client = sockets[0];
    line_.Drain();
    std::vector<double> samples;
    const Clock::time_point begin = Clock::now();
    for (std::size_t i = 0; i < kMaxRoundTrips; ++i) {
        if (i > kWarmUpRoundTrips && SecondsSince(begin) > options_.timedSeconds) {
            break;
        }
        char message[kMessageSize + 1];
        std::snprintf(message, sizeof message, "ping %08zu abcdefghijklmnop\r\n", i);
        const Clock::time_point start = Clock::now();
        Require(client.SendAll(message, kMessageSize, kStepLimit), "send failed");
        std::string got;
        const Deadline deadline(kStepLimit);
        while (got.size() < kMessageSize) {
            pollfd fds[2] = {{line_.Master(), POLLIN, 0}, {client.Fd(), POLLIN, 0}};
            Require(::poll(fds, 2, deadline.PollMillis()) > 0, "no echo in time");
            if ((fds[0].revents & POLLIN) != 0) {
                Require(EchoLine(), "serial line failed");
            }
            if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char reply[256];
                const ssize_t n = ::recv(client.Fd(), reply, sizeof reply, 0);
                Require(n > 0, "connection closed by the bridge");
                got.append(reply, static_cast<std::size_t>(n));
            }
        }
        Require(got == std::string(message, kMessageSize), "echo differs");
        if (i >= kWarmUpRoundTrips) {
            samples.push_back(SecondsSince(start) * 1e6);
        }
    }
    NotePeak(bridge, out);
    out["rtt_p50_us"] = Percentile(samples, 0.5);
    out["rtt_p99_us"] = Percentile(samples, 0.99);
}

void Measurements::ConnectionsPerSecond(BridgeProcess& bridge, const BridgeTraits& traits,
                                        Metrics& out) {
    line_.Drain();
    int count = 0;
    int failures = 0;
    const Clock::time_point begin = Clock::now();
    while (count < kMaxConnections && SecondsSince(begin) < options_.timedSeconds) {
        TcpClient client;
        const char byte = static_cast<char>('a' + count % 26);
        bool ok = client.Connect(bridge.Port(1), kStepLimit) &&
                  (traits.greeting.empty() || client.Expect(traits.greeting, kStepLimit)) &&
                  client.SendAll(&byte, 1, kStepLimit);
        const Deadline deadline(kStepLimit);
        bool answered = false;
        while (ok && !answered) {
            pollfd fds[2] = {{line_.Master(), POLLIN, 0}, {client.Fd(), POLLIN, 0}};
            ok = ::poll(fds, 2, deadline.PollMillis()) > 0;
            if (ok && (fds[0].revents & POLLIN) != 0) {
                ok = EchoLine();
            }
            if (ok && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char reply[64];
                const ssize_t n = ::recv(client.Fd(), reply, sizeof reply, 0);
                ok = n > 0;
                answered = ok && std::string(reply, static_cast<std::size_t>(n)).find(byte) !=
                                     std::string::npos;
            }
        }
        client.Close();
        if (!answered) {
            Require(++failures < kMaxConnectFailures, "connections not answered");
            continue;
        }
        ++count;
    }
    NotePeak(bridge, out);
    out["conn_per_s"] = count / SecondsSince(begin);
    out["conn_failures"] = failures;
}

void Measurements::Burst(BridgeProcess& bridge, const BridgeTraits& traits, Metrics& out) {
    std::vector<TcpClient> sockets = ConnectClients(bridge.Port(1), 2, traits);
    TcpClient& reader = sockets[0];  // sockets[1] never reads
    line_.Drain();
    const auto total = static_cast<std::uint64_t>(options_.burstMib * traits.sizeScale * 1048576);
    StreamVerifier verifier(withIac_, total, true, traits.doubledIac);
    const auto feed = [&](std::size_t most) {
        const ssize_t n = ::recv(reader.Fd(), buffer_.data(), std::min(most, buffer_.size()), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return false;
        }
        if (n > 0 && !verifier.Feed(buffer_.data(), static_cast<std::size_t>(n))) {
            throw std::runtime_error("reader: " + verifier.Error());
        }
        return true;
    };
    const Deadline syncDeadline(Millis(5000));
    while (!verifier.SeenAnything()) {
        Require(!syncDeadline.Passed(), "sync bytes never arrived");
        const char sync = StreamVerifier::kSync;
        Require(WriteAll(line_.Master(), &sync, 1, kStepLimit), "serial line stuck");
        pollfd pfd{reader.Fd(), POLLIN, 0};
        if (::poll(&pfd, 1, 20) > 0) {
            Require(feed(buffer_.size()), "connection closed by the bridge");
        }
    }

    const double rate = options_.burstReaderMBps * 1e6;
    const Clock::time_point start = Clock::now();
    const char go = StreamVerifier::kStart;
    Require(WriteAll(line_.Master(), &go, 1, kStepLimit), "serial line stuck");
    std::uint64_t sent = 0;
    double taken = 0;
    bool readerOpen = true;
    Clock::time_point lastWrite = start;
    double lineSeconds = 0;
    const Deadline deadline(kTransferLimit);
    while (readerOpen && !verifier.Done()) {
        Require(!deadline.Passed(), "transfer timed out");
        Require(sent == total || SecondsSince(lastWrite) < kLineStallSeconds,
                "the bridge stopped taking data from the line");
        // The reader takes its share in blocks, not byte by byte: a busy loop here would
        // starve the kernel's pseudo-terminal worker and slow the line instead of the reader.
        const double allowed = SecondsSince(start) * rate - taken;
        const bool readerDue = allowed >= kPacedBlock || (sent == total && allowed >= 1);
        pollfd fds[2] = {{readerDue ? reader.Fd() : -1, POLLIN, 0},
                         {sent < total ? line_.Master() : -1, POLLOUT, 0}};
        Require(::poll(fds, 2, 1) >= 0, "poll failed");
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const std::size_t before = static_cast<std::size_t>(verifier.Position());
            readerOpen = feed(static_cast<std::size_t>(allowed));
            taken += static_cast<double>(static_cast<std::size_t>(verifier.Position()) - before);
        }
        if ((fds[1].revents & POLLOUT) != 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(total - sent, kWriteChunk));
            const std::string_view piece = withIac_.Piece(sent, chunk);
            const ssize_t n = ::write(line_.Master(), piece.data(), piece.size());
            Require(n > 0 || errno == EAGAIN, "serial line write failed");
            if (n > 0) {
                sent += static_cast<std::uint64_t>(n);
                lastWrite = Clock::now();
                lineSeconds = SecondsSince(start);
            }
        }
    }
    out["burst_s"] = SecondsSince(start);
    out["burst_line_MBps"] = static_cast<double>(total) / std::max(lineSeconds, 1e-6) / 1e6;
    out["burst_lost_MB"] = static_cast<double>(total - verifier.Position()) / 1e6;
    out["burst_peak_rss_MB"] = ProcessStats::PeakRssMb(bridge.Pid());
}

void Measurements::IdleMemory(BridgeKind kind, const BenchOptions& options, const std::string& tag,
                              Metrics& out) {
    constexpr int kLines = 16;
    constexpr int kClientsPerLine = 15;
    std::vector<std::unique_ptr<PseudoLine>> lines;
    std::vector<std::string> devices;
    for (int i = 0; i < kLines; ++i) {
        lines.push_back(std::make_unique<PseudoLine>());
        devices.push_back(lines.back()->SlavePath());
    }
    BridgeProcess bridge(kind, options, devices, tag);
    const BridgeTraits traits = TraitsOf(kind);
    std::vector<TcpClient> clients;
    for (int line = 1; line <= kLines; ++line) {
        for (int i = 0; i < kClientsPerLine; ++i) {
            TcpClient client;
            Require(client.Connect(bridge.Port(line), kStepLimit), "connect refused");
            clients.push_back(std::move(client));
        }
    }
    for (TcpClient& client : clients) {
        Require(traits.greeting.empty() || client.Expect(traits.greeting, kStepLimit),
                "no greeting");
    }
    // Peers without a greeting attach their clients in their own time.
    std::this_thread::sleep_for(Millis(300));
    Require(bridge.Alive(), "bridge died");
    out["idle_16x15_rss_MB"] = ProcessStats::RssMb(bridge.Pid());
}

}  // namespace tolvan::bench
