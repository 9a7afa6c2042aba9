#include "tolvanctl/Arguments.h"

#include <array>

#include "console_protocol/TextForms.h"
#include "tolvanctl/CtlError.h"

namespace tolvan::ctl {

namespace {

constexpr int kHighestCom = 16;
constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

// A command, how many operands it takes and which of the command options it knows.
struct CommandRule {
    std::string_view name;
    std::size_t minOperands;
    std::size_t maxOperands;
    bool json;
    bool reset;
    bool hex;
};

constexpr std::array<CommandRule, 12> kCommands{{
    {"status", 0, 0, true, false, false},
    {"show", 1, 1, true, false, false},
    {"set", 2, kAnyNumber, false, false, false},
    {"enable", 1, 1, false, false, false},
    {"disable", 1, 1, false, false, false},
    {"connections", 1, 1, true, false, false},
    {"disconnect", 2, 2, false, false, false},
    {"counters", 1, 1, true, true, false},
    {"trace", 1, 1, false, false, true},
    {"base-port", 0, 1, false, false, false},
    {"version", 0, 0, false, false, false},
    {"help", 0, 0, false, false, false},
}};

const CommandRule* FindCommand(std::string_view name) {
    for (const CommandRule& rule : kCommands) {
        if (rule.name == name) {
            return &rule;
        }
    }
    return nullptr;
}

int BaseOption(std::string_view text) {
    const std::optional<long long> port = console::RoundedInteger(text, 1, 65535);
    if (!port || text.find('.') != std::string_view::npos) {
        throw UsageError("--base needs a TCP port from 1 to 65535, not '" + std::string(text) +
                         "'");
    }
    return static_cast<int>(*port);
}

// The value of "--name=value" or of the next argument; i moves past what was used.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i,
                        std::string_view name) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    if (equals != std::string::npos) {
        return arg.substr(equals + 1);
    }
    if (i + 1 >= args.size()) {
        throw UsageError(std::string(name) + " needs a value");
    }
    return args[++i];
}

void CheckCommand(const Invocation& invocation) {
    const CommandRule* rule = FindCommand(invocation.command);
    if (rule == nullptr) {
        throw UsageError("unknown command '" + invocation.command + "' (see tolvanctl --help)");
    }
    const std::size_t count = invocation.operands.size();
    if (count < rule->minOperands || count > rule->maxOperands) {
        throw UsageError("wrong number of arguments for '" + invocation.command +
                         "' (see tolvanctl --help)");
    }
    if (invocation.json && !rule->json) {
        throw UsageError("--json goes with status, show, connections and counters");
    }
    if (invocation.reset && !rule->reset) {
        throw UsageError("--reset goes with counters");
    }
    if (invocation.hex && !rule->hex) {
        throw UsageError("--hex goes with trace");
    }
}

}  // namespace

Invocation ParseArguments(const std::vector<std::string>& args) {
    Invocation invocation;
    bool optionsEnded = false;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        const std::string name = arg.substr(0, arg.find('='));
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            invocation.help = true;
        } else if (arg == "--json") {
            invocation.json = true;
        } else if (arg == "--reset") {
            invocation.reset = true;
        } else if (arg == "--hex") {
            invocation.hex = true;
        } else if (name == "--base") {
            invocation.basePort = BaseOption(OptionValue(args, i, name));
        } else if (name == "--host") {
            invocation.host = OptionValue(args, i, name);
            if (invocation.host.empty()) {
                throw UsageError("--host needs a host name or address");
            }
        } else {
            throw UsageError("unknown option '" + arg + "' (see tolvanctl --help)");
        }
    }
    if (words.empty()) {
        if (!invocation.help) {
            throw UsageError("no command given (see tolvanctl --help)");
        }
        return invocation;
    }
    invocation.command = words.front();
    invocation.operands.assign(words.begin() + 1, words.end());
    invocation.help = invocation.help || invocation.command == "help";
    CheckCommand(invocation);
    return invocation;
}

std::optional<int> ParseComName(std::string_view text) {
    if (text.size() > 3 && console::EqualsIgnoringCase(text.substr(0, 3), "COM")) {
        text.remove_prefix(3);
    }
    if (text.empty() || text.size() > 2 || text[0] == '0') {
        return std::nullopt;
    }
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > kHighestCom) {
        return std::nullopt;
    }
    return number;
}

int ComOperand(const Invocation& invocation, std::size_t i) {
    const std::string& text = invocation.operands.at(i);
    const std::optional<int> com = ParseComName(text);
    if (!com) {
        throw UsageError("'" + text + "' is no port name: use COM1 to COM16 (or com1, or 1)");
    }
    return *com;
}

std::string UsageText() {
    return R"(Usage: tolvanctl [--host HOST] [--base PORT] COMMAND [ARGUMENTS]

Manages a running TolvanServer through its console (TCP HOST:PORT; HOST is 127.0.0.1 and
PORT is BaseTCPPort from the store named by TOLVAN_REGISTRY unless given).
Ports are named COM1, com1 or 1.

Commands:
  status [--json]               one line per port: device, enabled, mode, state,
                                connections, bytes in and out
  show COMn [--json]            every setting of the port with its value
  set COMn NAME=VALUE...        changes the named settings, leaves the others alone
  enable COMn                   sets Enabled=True
  disable COMn                  sets Enabled=False
  connections COMn [--json]     the port's live connections
  disconnect COMn N             closes connection N of the port
  counters COMn [--reset] [--json]
                                the port's counters (--reset clears them first)
  trace COMn [--hex]            the port's live traffic until Ctrl-C
  base-port [N]                 shows or sets BaseTCPPort in the store
  version                       the versions of tolvanctl and of the server

Exit status: 0 done, 1 the server refused, failed or is not running, 2 usage error.
See tolvanctl(1).
)";
}

}  // namespace tolvan::ctl
