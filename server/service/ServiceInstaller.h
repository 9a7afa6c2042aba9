#pragma once

#include <string>
#include <vector>

namespace tolvan {

// Where the unit goes and which systemctl registers it.
struct InstallerConfig {
    std::string unitDir = "/etc/systemd/system";
    std::string systemctl = "systemctl";
    std::string executablePath;  // absolute path written to ExecStart

    // TOLVAN_UNIT_DIR and TOLVAN_SYSTEMCTL where set, the defaults otherwise.
    static InstallerConfig FromEnvironment(std::string executablePath);
};

// Registers the service with systemd and removes it again. Every step must succeed, the
// systemctl runs included, for the whole to count as done.
class ServiceInstaller {
public:
    explicit ServiceInstaller(InstallerConfig config) : config_(std::move(config)) {}

    // Writes the unit, reloads systemd and enables the unit.
    bool Install() const;
    // Disables the unit, removes it and reloads systemd.
    bool Uninstall() const;

    std::string UnitPath() const;

    // The unit file's text for an executable at the given path.
    static std::string UnitFileText(const std::string& executablePath);

private:
    bool WriteUnit() const;
    // Runs systemctl with the arguments, without a shell; true when it exits with status 0.
    bool RunSystemctl(const std::vector<std::string>& args) const;

    InstallerConfig config_;
};

// One argument of an Exec line: specifiers and quotes escaped, quoted when it holds blanks.
std::string QuoteExecArgument(const std::string& argument);

}  // namespace tolvan
