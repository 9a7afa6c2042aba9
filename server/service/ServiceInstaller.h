#pragma once

#include <string>
#include <vector>

namespace tolvan {

// Where the unit goes and which systemctl registers it.
struct InstallerConfig {
    std::string unitDir = "/etc/systemd/system";
    std::string systemctl = "systemctl";
    std::string executablePath;                             // absolute path written to ExecStart
    std::string registryPath = "/etc/tolvan/registry.reg";  // the store the service is to use

    // TOLVAN_UNIT_DIR and TOLVAN_SYSTEMCTL where set, the defaults otherwise.
    static InstallerConfig FromEnvironment(std::string executablePath, std::string registryPath);
};

// Registers the service with systemd and removes it again. Every step must succeed, the
// systemctl runs included, for the whole to count as done.
class ServiceInstaller {
public:
    explicit ServiceInstaller(InstallerConfig config) : config_(std::move(config)) {}

    // Makes the store's folder when missing, writes the unit, reloads systemd and enables the
    // unit.
    bool Install() const;
    // Disables the unit, removes it and reloads systemd.
    bool Uninstall() const;

    std::string UnitPath() const;

    // The unit file's text for an executable at the given path using the given store: run as
    // root, in a sandbox that may write only the store's folder and the log folder.
    static std::string UnitFileText(const std::string& executablePath,
                                    const std::string& registryPath);

private:
    bool MakeStoreFolder() const;
    bool WriteUnit() const;
    // Runs systemctl with the arguments, without a shell; true when it exits with status 0.
    bool RunSystemctl(const std::vector<std::string>& args) const;

    InstallerConfig config_;
};

// One argument of an Exec line: specifiers and quotes escaped, quoted when it holds blanks.
std::string QuoteExecArgument(const std::string& argument);

}  // namespace tolvan
