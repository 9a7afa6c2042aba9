#include "server/service/CommandLine.h"

#include "console_protocol/TextForms.h"
#include "server/service/ServiceIdentity.h"

namespace tolvan {

std::string JoinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

CommandAction ParseCommandLine(const std::string& text) {
    const std::string lower = console::ToLower(text);
    if (lower == "-install") {
        return CommandAction::Install;
    }
    if (lower == "-uninstall") {
        return CommandAction::Uninstall;
    }
    if (text == "-debug") {
        return CommandAction::Debug;
    }
    if (text.empty()) {
        return CommandAction::Normal;
    }
    return CommandAction::Usage;
}

std::string UsageText() {
    const std::string exe = kExecutableName;
    return "Invalid command option...\r\nValid Options are:\r\n" + exe + " -install\r\n" + exe +
           " -uninstall";
}

}  // namespace tolvan
