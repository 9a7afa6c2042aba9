#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/Deadline.h"

namespace tolvan::e2e {

struct ExitStatus {
    bool exited = false;  // ended by exit(); otherwise by signal
    int code = -1;
    int signal = 0;
};

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// One run of a program with its output in files; killed when the object goes.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Later starts run the program as this user and group, without supplementary groups (as
    // `setpriv --reuid --regid --clear-groups` would); needs root.
    void RunAs(uid_t uid, gid_t gid) { runAs_ = {uid, gid}; }

    // Starts binary with args; standard output and error go to the two files.
    bool Start(const std::string& binary, const std::vector<std::string>& args,
               const EnvChanges& env, const std::string& stdoutPath, const std::string& stderrPath);
    bool Running();
    bool Signal(int signal) const;
    // The exit status once the process has ended within the time; nullopt otherwise.
    std::optional<ExitStatus> WaitExit(Millis within);
    pid_t Pid() const { return pid_; }

private:
    bool Reap(bool wait);

    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
    std::optional<std::pair<uid_t, gid_t>> runAs_;
};

// Runs a program to its end (bounded) and collects its output.
struct RunResult {
    std::optional<ExitStatus> status;  // nullopt: killed after the time ran out
    std::string out;
    std::string err;
};
RunResult RunToEnd(const std::string& binary, const std::vector<std::string>& args,
                   const EnvChanges& env, const std::string& workDir, Millis within);

std::string ReadFile(const std::string& path);

}  // namespace tolvan::e2e
