#include "server/service/CommandLine.h"

#include <string>

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
    if (text == "--help") {
        return CommandAction::Help;
    }
    if (text == "--version") {
        return CommandAction::Version;
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

std::string HelpText() {
    const std::string exe = kExecutableName;
    return "Usage: " + exe +
           " [-debug | -install | -uninstall | --help | --version]\n"
           "Tolvan Server makes the serial ports of this computer reachable over TCP/IP.\n"
           "\n"
           "Without an option it runs as the systemd service TolvanServer.service.\n"
           "  -debug       run in the foreground without a service manager; events also go\n"
           "               to standard error; Ctrl+C stops it\n"
           "  -install     write and enable the systemd unit for this executable\n"
           "  -uninstall   disable and remove that unit\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "Signals: SIGTERM or SIGINT stop the service; SIGHUP reloads its settings.\n"
           "\n"
           "Environment:\n"
           "  TOLVAN_REGISTRY   the settings store (default /etc/tolvan/registry.reg)\n"
           "  TOLVAN_EVENTLOG   also append every event to this file\n"
           "  TOLVAN_UNIT_DIR   where -install writes the unit (default /etc/systemd/system)\n"
           "  TOLVAN_SYSTEMCTL  the systemctl command -install and -uninstall run\n"
           "\n"
           "See TolvanServer(8) and the user's manual.";
}

std::string VersionText() {
    return std::string(kExecutableName) + " " + std::to_string(TOLVAN_VERSION_MAJOR) + "." +
           std::to_string(TOLVAN_VERSION_MINOR) + "." + std::to_string(TOLVAN_VERSION_REVISION);
}

std::string WaitingHint() {
    const std::string exe = kExecutableName;
    return exe + ": waiting 15 s for the service manager (systemd) to start this service; " +
           "run '" + exe + " -debug' to run it in the foreground.";
}

}  // namespace tolvan
