#include "bench/BridgeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench/Clock.h"
#include "bench/TcpClient.h"

namespace tolvan::bench {

namespace {

constexpr int kComPorts = 16;
const char* const kServiceKey =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TolvanServer\\";

std::string Tail(const std::string& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace

BridgeTraits TraitsOf(BridgeKind kind) {
    switch (kind) {
        case BridgeKind::Tolvan:
            return {"tolvan", "Connected....\r\n", true, 15, false};
        case BridgeKind::Socat:
            return {"socat", "", false, 1, true};
        case BridgeKind::Ser2netTuned:
            return {"ser2net-tuned", "", false, 15, false, 0.5};
        case BridgeKind::Ser2netDefault:
            return {"ser2net-default", "", false, 15, false, 0.125};
    }
    return {};
}

BridgeProcess::BridgeProcess(BridgeKind kind, const BenchOptions& options,
                             const std::vector<std::string>& devices, const std::string& tag)
    : kind_(kind), options_(options), tag_(tag) {
    // Tolvan's console takes the base port itself.
    basePort_ = PickFreePorts(kComPorts + 1);
    if (basePort_ < 0) {
        throw std::runtime_error("no free TCP ports");
    }
    logPath_ = options_.workDir + "/" + tag_ + ".log";
    const std::vector<std::string> argv = Command(devices);
    const std::string eventLog = options_.workDir + "/" + tag_ + ".events";
    const std::string store = kind_ == BridgeKind::Tolvan ? WriteStore(devices) : std::string();

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        const int log = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        if (!store.empty()) {
            ::setenv("TOLVAN_REGISTRY", store.c_str(), 1);
            ::setenv("TOLVAN_EVENTLOG", eventLog.c_str(), 1);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (!WaitListening(Port(1), static_cast<int>(devices.size()), Millis(8000)) || !Alive()) {
        Stop();
        throw std::runtime_error(TraitsOf(kind_).name + " did not come up:\n" + Tail(logPath_));
    }
}

BridgeProcess::~BridgeProcess() {
    Stop();
}

bool BridgeProcess::Alive() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void BridgeProcess::Stop() {
    if (!Alive()) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const Deadline deadline(Millis(3000));
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (deadline.Passed()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(Millis(5));
    }
    pid_ = -1;
}

std::vector<std::string> BridgeProcess::Command(const std::vector<std::string>& devices) {
    switch (kind_) {
        case BridgeKind::Tolvan:
            return {options_.server, "-debug"};
        case BridgeKind::Socat:
            return {options_.socat, devices.at(0) + ",raw,echo=0",
                    "TCP-LISTEN:" + std::to_string(Port(1)) + ",reuseaddr,bind=127.0.0.1"};
        case BridgeKind::Ser2netTuned:
        case BridgeKind::Ser2netDefault:
            return {options_.ser2net,
                    "-n",
                    "-u",
                    "-c",
                    WriteSer2netConfig(devices),
                    "-P",
                    options_.workDir + "/" + tag_ + ".pid"};
    }
    return {};
}

std::string BridgeProcess::WriteStore(const std::vector<std::string>& devices) const {
    const std::string path = options_.workDir + "/" + tag_ + ".reg";
    std::ofstream out(path);
    out << "REGEDIT4\n\n" << kServiceKey << "Settings]\n";
    out << "\"BaseTCPPort\"=\"" << basePort_ << "\"\n\n";
    out << kServiceKey << "Devices]\n";
    for (int n = 1; n <= kComPorts; ++n) {
        // Unused ports point nowhere, so the server finds them absent.
        const std::string device = n <= static_cast<int>(devices.size())
                                       ? devices[static_cast<std::size_t>(n - 1)]
                                       : options_.workDir + "/absent-com" + std::to_string(n);
        out << "\"COM" << n << "\"=\"" << device << "\"\n";
    }
    for (int n = 1; n <= static_cast<int>(devices.size()); ++n) {
        out << "\n" << kServiceKey << "Port" << n << "]\n";
        out << "\"Enabled\"=\"True\"\n\"ConnectPassword\"=\"\"\n\"MaxConnections\"=\"15\"\n";
    }
    return path;
}

std::string BridgeProcess::WriteSer2netConfig(const std::vector<std::string>& devices) const {
    const std::string path = options_.workDir + "/" + tag_ + ".yaml";
    std::ofstream out(path);
    out << "%YAML 1.1\n---\n";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int line = static_cast<int>(i) + 1;
        out << "connection: &bench" << line << "\n";
        out << "  accepter: tcp,127.0.0.1," << Port(line) << "\n";
        out << "  connector: serialdev," << devices[i] << ",9600n81,local\n";
        out << "  options:\n";
        out << "    max-connections: 15\n";
        if (kind_ == BridgeKind::Ser2netTuned) {
            out << "    chardelay: false\n";
            out << "    dev-to-net-bufsize: 4096\n";
            out << "    net-to-dev-bufsize: 4096\n";
        }
        out << "\n";
    }
    return path;
}

}  // namespace tolvan::bench
