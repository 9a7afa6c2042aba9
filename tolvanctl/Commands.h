#pragma once

#include <memory>
#include <ostream>

#include "tolvanctl/Arguments.h"
#include "tolvanctl/ConsoleSession.h"
#include "tolvanctl/StoreAccess.h"

namespace tolvan::ctl {

// What every command works with.
struct Context {
    const Invocation& invocation;
    StoreAccess& store;
    std::ostream& out;

    // A console session to --host on --base, or on the store's BaseTCPPort.
    std::unique_ptr<ConsoleSession> Connect() const;
};

// The commands; each answers the exit status or throws a CtlError.
int RunStatus(const Context& context);
int RunConnections(const Context& context);
int RunDisconnect(const Context& context);
int RunCounters(const Context& context);
int RunVersion(const Context& context);
int RunShow(const Context& context);
int RunSet(const Context& context);
int RunEnable(const Context& context, bool enable);
int RunTrace(const Context& context);
int RunBasePort(const Context& context);

}  // namespace tolvan::ctl
