#pragma once

#include <functional>
#include <string>

namespace tolvan {

// Starts and stops the server's service through the service manager's command line tool.
class ServiceControl {
public:
    // Runs one command line and returns its output (RunAndCapture by default).
    using CommandRunner = std::function<std::string(const std::string& commandLine)>;

    // The choices of lstServiceControl, by position.
    enum Action { kRestart = 0, kStart = 1, kStop = 2 };

    explicit ServiceControl(CommandRunner runner = {});

    // $TOLVAN_SYSTEMCTL, else "systemctl"; it may carry arguments of its own.
    static std::string SystemctlCommand();

    // Restart is stop followed by start once the stop has ended; a failing stop (a service
    // that was not running) does not keep the start from running. Output is discarded.
    void Apply(Action action);

private:
    void Run(const std::string& verb);

    CommandRunner runner_;
};

}  // namespace tolvan
