#include "server/service/ServiceInstaller.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "server/service/ServiceIdentity.h"

extern char** environ;

namespace tolvan {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

}  // namespace

InstallerConfig InstallerConfig::FromEnvironment(std::string executablePath) {
    InstallerConfig config;
    config.unitDir = EnvOr("TOLVAN_UNIT_DIR", config.unitDir);
    config.systemctl = EnvOr("TOLVAN_SYSTEMCTL", config.systemctl);
    config.executablePath = std::move(executablePath);
    return config;
}

std::string QuoteExecArgument(const std::string& argument) {
    std::string escaped;
    bool needsQuotes = argument.empty();
    for (char c : argument) {
        switch (c) {
            case '%':
                escaped += "%%";
                break;
            case '\\':
            case '"':
                escaped += '\\';
                escaped += c;
                break;
            case ' ':
            case '\t':
            case '\'':
            case ';':
                needsQuotes = true;
                escaped += c;
                break;
            default:
                escaped += c;
        }
    }
    return needsQuotes ? "\"" + escaped + "\"" : escaped;
}

std::string ServiceInstaller::UnitFileText(const std::string& executablePath) {
    std::string text;
    text += "[Unit]\n";
    text += std::string("Description=") + kDisplayName + "\n";
    text += "After=network.target\n";
    // A service that keeps failing is restarted three times, 60 s apart, then left stopped: the
    // fifth start falls inside the window and exceeds the burst.
    text += "StartLimitIntervalSec=300\n";
    text += "StartLimitBurst=4\n";
    text += "\n[Service]\n";
    text += "Type=notify\n";
    text += "ExecStart=" + QuoteExecArgument(executablePath) + "\n";
    text += "Restart=on-failure\n";
    text += "RestartSec=60\n";
    text += "\n[Install]\n";
    text += "WantedBy=multi-user.target\n";
    return text;
}

std::string ServiceInstaller::UnitPath() const {
    return (std::filesystem::path(config_.unitDir) / (std::string(kServiceName) + ".service"))
        .string();
}

bool ServiceInstaller::WriteUnit() const {
    const std::string path = UnitPath();
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out << UnitFileText(config_.executablePath);
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::permissions(temporary, std::filesystem::perms(0644), error);
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

bool ServiceInstaller::RunSystemctl(const std::vector<std::string>& args) const {
    std::vector<std::string> words;
    words.push_back(config_.systemctl);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawnp(&pid, config_.systemctl.c_str(), nullptr, nullptr, argv.data(), environ) !=
        0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ServiceInstaller::Install() const {
    return WriteUnit() && RunSystemctl({"daemon-reload"}) && RunSystemctl({"enable", kServiceName});
}

bool ServiceInstaller::Uninstall() const {
    if (!RunSystemctl({"disable", kServiceName})) {
        return false;
    }
    std::error_code error;
    if (!std::filesystem::remove(UnitPath(), error) || error) {
        return false;
    }
    return RunSystemctl({"daemon-reload"});
}

}  // namespace tolvan
