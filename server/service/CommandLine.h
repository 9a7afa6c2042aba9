#pragma once

#include <string>

namespace tolvan {

enum class CommandAction { Install, Uninstall, Debug, Normal, Help, Version, Usage };

// The argument text: the program's arguments (without the program name) joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// "-install" and "-uninstall" in any letter case, "-debug", "--help" and "--version" exactly,
// empty for a normal start; anything else asks for the usage text.
CommandAction ParseCommandLine(const std::string& text);

// "Invalid command option..." and the valid options, lines separated by CR LF.
std::string UsageText();

// Every option and environment variable, one per line (LF).
std::string HelpText();

// "TolvanServer 1.0.7".
std::string VersionText();

// Started by hand without a service manager: what the program waits for and how to run it.
std::string WaitingHint();

}  // namespace tolvan
