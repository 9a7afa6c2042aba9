#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan::ctl {

// What the command line asks for.
struct Invocation {
    std::string command;                // "status", "set", ...; empty with --help alone
    std::vector<std::string> operands;  // the command's own words, in order
    std::string host = "127.0.0.1";     // --host: where the console is (a tunnel's end)
    std::optional<int> basePort;        // --base: instead of BaseTCPPort from the store
    bool json = false;                  // --json
    bool reset = false;                 // counters --reset
    bool hex = false;                   // trace --hex
    bool help = false;                  // -h, --help, or the command "help"
};

// Reads the arguments (without the program name). Options may stand anywhere; "--" ends them.
// Throws a usage error naming what is wrong.
Invocation ParseArguments(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string UsageText();

// COM number 1..16 of "COM3", "com3" or "3".
std::optional<int> ParseComName(std::string_view text);

// Operand i as a COM number; a usage error when it is none.
int ComOperand(const Invocation& invocation, std::size_t i);

}  // namespace tolvan::ctl
