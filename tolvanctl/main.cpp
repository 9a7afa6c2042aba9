// tolvanctl: manages a running TolvanServer from a terminal, through its console.

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tolvanctl/Arguments.h"
#include "tolvanctl/Commands.h"
#include "tolvanctl/CtlError.h"
#include "tolvanctl/StoreAccess.h"

namespace tolvan::ctl {

std::unique_ptr<ConsoleSession> Context::Connect() const {
    return std::make_unique<ConsoleSession>(invocation.host,
                                            invocation.basePort.value_or(store.BasePort()));
}

namespace {

int Run(const Invocation& invocation) {
    StoreAccess store;
    const Context context{invocation, store, std::cout};
    const std::string& command = invocation.command;
    if (command == "status") {
        return RunStatus(context);
    }
    if (command == "show") {
        return RunShow(context);
    }
    if (command == "set") {
        return RunSet(context);
    }
    if (command == "enable" || command == "disable") {
        return RunEnable(context, command == "enable");
    }
    if (command == "connections") {
        return RunConnections(context);
    }
    if (command == "disconnect") {
        return RunDisconnect(context);
    }
    if (command == "counters") {
        return RunCounters(context);
    }
    if (command == "trace") {
        return RunTrace(context);
    }
    if (command == "base-port") {
        return RunBasePort(context);
    }
    return RunVersion(context);
}

}  // namespace

}  // namespace tolvan::ctl

int main(int argc, char** argv) {
    using namespace tolvan::ctl;
    // A closed output ends the program through its failed writes, not through a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const Invocation invocation =
            ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (invocation.help) {
            std::cout << UsageText();
            return kExitDone;
        }
        return Run(invocation);
    } catch (const CtlError& e) {
        std::cout << std::flush;
        std::cerr << "tolvanctl: " << e.what() << '\n';
        return e.Status();
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "tolvanctl: " << e.what() << '\n';
        return kExitFailed;
    }
}
