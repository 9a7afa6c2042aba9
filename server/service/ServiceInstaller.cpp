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

// The folder of the store: its writes go through a temporary file, a rename and a lock file
// beside it, so the whole folder must be writable.
std::filesystem::path StoreFolder(const std::string& registryPath) {
    return std::filesystem::absolute(registryPath).lexically_normal().parent_path();
}

// A program in a home folder must stay readable to the service.
bool InHomeFolder(const std::string& path) {
    for (const char* home : {"/home/", "/root/", "/run/user/"}) {
        if (path.starts_with(home)) {
            return true;
        }
    }
    return false;
}

}  // namespace

InstallerConfig InstallerConfig::FromEnvironment(std::string executablePath,
                                                 std::string registryPath) {
    InstallerConfig config;
    config.unitDir = EnvOr("TOLVAN_UNIT_DIR", config.unitDir);
    config.systemctl = EnvOr("TOLVAN_SYSTEMCTL", config.systemctl);
    config.executablePath = std::move(executablePath);
    config.registryPath = std::move(registryPath);
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

std::string ServiceInstaller::UnitFileText(const std::string& executablePath,
                                           const std::string& registryPath) {
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
    text += "ExecReload=/bin/kill -HUP $MAINPID\n";
    text += "Restart=on-failure\n";
    text += "RestartSec=60\n";
    text += "Environment=" + QuoteExecArgument("TOLVAN_REGISTRY=" + registryPath) + "\n";
    // There is no service account from source, so the service runs as root: the sandbox is
    // what keeps it to its store, its log folder and its devices.
    text += "NoNewPrivileges=yes\n";
    text += "ProtectSystem=strict\n";
    text += "ReadWritePaths=" + QuoteExecArgument(StoreFolder(registryPath).string()) + "\n";
    text += "LogsDirectory=tolvan\n";
    text += "LogsDirectoryMode=2750\n";
    text += "PrivateTmp=yes\n";
    text +=
        std::string("ProtectHome=") + (InHomeFolder(executablePath) ? "read-only" : "yes") + "\n";
    text += "UMask=0027\n";
    text += "MemoryMax=256M\n";
    text += "ProtectKernelTunables=yes\n";
    text += "ProtectKernelModules=yes\n";
    text += "ProtectKernelLogs=yes\n";
    text += "ProtectControlGroups=yes\n";
    text += "RestrictSUIDSGID=yes\n";
    text += "RestrictRealtime=yes\n";
    text += "LockPersonality=yes\n";
    // The console's peer check asks the kernel through a NETLINK sock_diag socket.
    text += "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK\n";
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
        out << UnitFileText(config_.executablePath, config_.registryPath);
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

bool ServiceInstaller::MakeStoreFolder() const {
    // The sandbox cannot start without the folder it is to keep writable.
    std::error_code error;
    std::filesystem::create_directories(StoreFolder(config_.registryPath), error);
    return !error;
}

bool ServiceInstaller::Install() const {
    return MakeStoreFolder() && WriteUnit() && RunSystemctl({"daemon-reload"}) &&
           RunSystemctl({"enable", kServiceName});
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
