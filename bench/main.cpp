// tolvan_bench: TolvanServer against socat and ser2net on pseudo-terminals and loopback TCP.

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "bench/BenchOptions.h"
#include "bench/BridgeProcess.h"
#include "bench/Clock.h"
#include "bench/Measurements.h"
#include "bench/PseudoLine.h"
#include "bench/Report.h"

namespace tolvan::bench {

namespace {

// One repetition of every measurement on one bridge.
class BridgeRun {
public:
    BridgeRun(BridgeKind kind, const BenchOptions& options, int repetition, Report& report)
        : kind_(kind),
          traits_(TraitsOf(kind)),
          options_(options),
          repetition_(repetition),
          report_(report),
          measurements_(options, line_) {}

    Metrics Run() {
        Session("s2t", [&](BridgeProcess& b) {
            measurements_.SerialToTcp(b, traits_, 1, options_.serialToTcpMb * traits_.sizeScale,
                                      "s2t", metrics_);
        });
        Session("t2s", [&](BridgeProcess& b) {
            measurements_.TcpToSerial(b, traits_, options_.tcpToSerialMb * traits_.sizeScale,
                                      metrics_);
        });
        for (const int clients : {1, 4, 15}) {
            if (clients <= traits_.maxClients) {
                const std::string name = "fan" + std::to_string(clients);
                Session(name, [&](BridgeProcess& b) {
                    measurements_.SerialToTcp(
                        b, traits_, clients, options_.fanOutMb * traits_.sizeScale, name, metrics_);
                });
            }
        }
        Session("rtt", [&](BridgeProcess& b) { measurements_.RoundTrip(b, traits_, metrics_); });
        if (!traits_.oneShot) {
            Session("cps", [&](BridgeProcess& b) {
                measurements_.ConnectionsPerSecond(b, traits_, metrics_);
            });
        }
        persistent_.reset();
        if (traits_.maxClients >= 2) {
            // On a fresh process (the line is free now), so that its peak memory is its own.
            Session(
                "burst", [&](BridgeProcess& b) { measurements_.Burst(b, traits_, metrics_); },
                true);
        }
        if (!traits_.oneShot) {
            Guarded("idle",
                    [&] { Measurements::IdleMemory(kind_, options_, Tag("idle"), metrics_); });
        }
        return metrics_;
    }

private:
    std::string Tag(const std::string& test) const {
        return traits_.name + "-r" + std::to_string(repetition_ + 1) + "-" + test;
    }

    void Guarded(const std::string& test, const std::function<void()>& fn) {
        try {
            fn();
        } catch (const std::exception& e) {
            report_.Fail(traits_.name, repetition_, test + ": " + e.what());
            std::cerr << "  " << traits_.name << " " << test << " failed: " << e.what() << "\n";
        }
    }

    // Runs fn on the bridge: a fresh process for a one-shot peer or when asked, else the one
    // kept running.
    void Session(const std::string& test, const std::function<void(BridgeProcess&)>& fn,
                 bool fresh = false) {
        Guarded(test, [&] {
            std::unique_ptr<BridgeProcess> own;
            BridgeProcess* bridge = nullptr;
            if (traits_.oneShot || fresh) {
                own = std::make_unique<BridgeProcess>(kind_, options_,
                                                      std::vector{line_.SlavePath()}, Tag(test));
                bridge = own.get();
            } else {
                if (persistent_ && !persistent_->Alive()) {
                    persistent_.reset();
                }
                if (!persistent_) {
                    persistent_ = std::make_unique<BridgeProcess>(
                        kind_, options_, std::vector{line_.SlavePath()}, Tag("main"));
                }
                bridge = persistent_.get();
            }
            fn(*bridge);
        });
    }

    BridgeKind kind_;
    BridgeTraits traits_;
    const BenchOptions& options_;
    int repetition_;
    Report& report_;
    PseudoLine line_;
    Measurements measurements_;
    std::unique_ptr<BridgeProcess> persistent_;
    Metrics metrics_;
};

int Main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    BenchOptions options;
    try {
        options = BenchOptions::Parse(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what();
        return 2;
    }
    std::filesystem::create_directories(options.workDir);
    std::vector<BridgeKind> kinds;
    std::vector<std::string> names;
    for (const BridgeKind kind : {BridgeKind::Tolvan, BridgeKind::Socat, BridgeKind::Ser2netTuned,
                                  BridgeKind::Ser2netDefault}) {
        if (options.Runs(TraitsOf(kind).name)) {
            kinds.push_back(kind);
            names.push_back(TraitsOf(kind).name);
        }
    }
    Report report(names);
    const Clock::time_point start = Clock::now();
    for (int rep = 0; rep < options.repetitions; ++rep) {
        // Alternate the order so that no bridge always runs first or last.
        std::vector<BridgeKind> order = kinds;
        std::rotate(order.begin(), order.begin() + rep % static_cast<int>(order.size()),
                    order.end());
        for (const BridgeKind kind : order) {
            const Clock::time_point bridgeStart = Clock::now();
            BridgeRun run(kind, options, rep, report);
            report.Add(TraitsOf(kind).name, rep, run.Run());
            std::cerr << "repetition " << rep + 1 << "/" << options.repetitions << " "
                      << TraitsOf(kind).name << ": " << SecondsSince(bridgeStart) << " s\n";
        }
    }
    const double wall = SecondsSince(start);
    std::cout << "Command: " << options.commandLine << "\n\n";
    report.Print(std::cout);
    std::cout << "\nWall time " << static_cast<int>(wall) << " s; JSON in " << options.json << "\n";
    report.WriteJson(options.json, options, wall);
    return 0;
}

}  // namespace

}  // namespace tolvan::bench

int main(int argc, char** argv) {
    return tolvan::bench::Main(argc, argv);
}
