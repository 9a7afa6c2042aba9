#include "configurator/ServiceControl.h"

#include <cstdlib>
#include <utility>

#include "configurator/RunAndCapture.h"

namespace tolvan {
namespace {

constexpr const char* kServiceName = "TolvanServer";

}  // namespace

ServiceControl::ServiceControl(CommandRunner runner) : runner_(std::move(runner)) {
    if (!runner_) {
        runner_ = [](const std::string& commandLine) { return RunAndCapture(commandLine); };
    }
}

std::string ServiceControl::SystemctlCommand() {
    const char* command = std::getenv("TOLVAN_SYSTEMCTL");
    if (command != nullptr && *command != '\0') {
        return command;
    }
    return "systemctl";
}

void ServiceControl::Run(const std::string& verb) {
    runner_(SystemctlCommand() + " " + verb + " " + kServiceName);
}

void ServiceControl::Apply(Action action) {
    switch (action) {
        case kRestart:
            Run("stop");
            Run("start");
            break;
        case kStart:
            Run("start");
            break;
        case kStop:
            Run("stop");
            break;
    }
}

}  // namespace tolvan
