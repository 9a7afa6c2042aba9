#pragma once

#include <string>

namespace tolvan {

enum class CommandAction { Install, Uninstall, Debug, Normal, Usage };

// The argument text: the program's arguments (without the program name) joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// "-install" and "-uninstall" in any letter case, "-debug" exactly, empty for a normal start;
// anything else asks for the usage text.
CommandAction ParseCommandLine(const std::string& text);

// "Invalid command option..." and the valid options, lines separated by CR LF.
std::string UsageText();

}  // namespace tolvan
