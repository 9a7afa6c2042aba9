// base-port: BaseTCPPort in the store, which the server reads when it starts.

#include <optional>

#include "console_protocol/TextForms.h"
#include "tolvanctl/Commands.h"
#include "tolvanctl/CtlError.h"

namespace tolvan::ctl {

int RunBasePort(const Context& context) {
    if (context.invocation.operands.empty()) {
        context.out << context.store.BasePort() << '\n';
        return kExitDone;
    }
    const std::string& text = context.invocation.operands[0];
    const std::optional<long long> port =
        console::RoundedInteger(text, 1, StoreAccess::kHighestBasePort);
    if (!port || text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("the base port is a whole number from 1 to " +
                         std::to_string(StoreAccess::kHighestBasePort) +
                         " (COM16 listens on base port + 16), not '" + text + "'");
    }
    context.store.SaveBasePort(static_cast<int>(*port));
    context.out << "BaseTCPPort is now " << *port << " in " << context.store.Path()
                << ".\nThe server uses it after a restart: systemctl restart TolvanServer\n";
    return kExitDone;
}

}  // namespace tolvan::ctl
