#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "server/service/ServiceInstaller.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

namespace fs = std::filesystem;

// A temporary unit folder and a stand-in systemctl that records its arguments and exits with
// the status held in a file.
class ServiceInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        fs::create_directory(root_ / "units");
        TempFolder::Write(systemctl_.string(),
                          "#!/bin/sh\necho \"$*\" >> '" + (root_ / "calls").string() +
                              "'\ncase \"$1\" in \"$(cat '" + (root_ / "fail").string() +
                              "' 2>/dev/null)\") exit 1;; esac\nexit 0\n");
        fs::permissions(systemctl_, fs::perms::owner_all);
    }

    ServiceInstaller Installer(const std::string& executable = "/opt/tolvan/TolvanServer") {
        InstallerConfig config;
        config.unitDir = (root_ / "units").string();
        config.systemctl = systemctl_.string();
        config.executablePath = executable;
        config.registryPath = Store().string();
        return ServiceInstaller(config);
    }
    fs::path Store() const { return root_ / "etc" / "tolvan" / "registry.reg"; }
    void FailOn(const std::string& verb) { std::ofstream(root_ / "fail") << verb; }
    std::string Calls() const { return TempFolder::Read((root_ / "calls").string()); }
    fs::path Unit() const { return root_ / "units" / "TolvanServer.service"; }

    TempFolder folder_;
    const fs::path root_ = folder_.Path();
    const fs::path systemctl_ = root_ / "systemctl";
};

// A notify-type unit that restarts on failure a minute later and starts at boot, sandboxed so
// that of the file system only the store's folder and the log folder are writable; systemd
// takes every line of it.
TEST_F(ServiceInstallerTest, UnitFileText) {
    const std::string text =
        ServiceInstaller::UnitFileText("/usr/bin/TolvanServer", "/srv/tolvan store/registry.reg");
    EXPECT_TRUE(text.starts_with("[Unit]\nDescription=Tolvan Server\n"));
    for (const char* line :
         {"\nStartLimitBurst=4\n", "\n[Service]\n", "\nType=notify\n",
          "\nExecStart=/usr/bin/TolvanServer\n", "\nRestart=on-failure\n", "\nRestartSec=60\n",
          "\nEnvironment=\"TOLVAN_REGISTRY=/srv/tolvan store/registry.reg\"\n",
          "\nNoNewPrivileges=yes\n", "\nProtectSystem=strict\n",
          "\nReadWritePaths=\"/srv/tolvan store\"\n", "\nLogsDirectory=tolvan\n",
          "\nLogsDirectoryMode=2750\n", "\nPrivateTmp=yes\n", "\nProtectHome=yes\n",
          "\nUMask=0027\n", "\nMemoryMax=256M\n",
          "\nRestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK\n", "\n[Install]\n",
          "\nWantedBy=multi-user.target\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    // A program installed from a home folder must stay readable to the service.
    EXPECT_NE(ServiceInstaller::UnitFileText("/home/op/TolvanServer", "/etc/tolvan/registry.reg")
                  .find("\nProtectHome=read-only\n"),
              std::string::npos);
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") == 0) {
        // It exits 0 on unknown settings and only warns: the unit must draw no word at all.
        std::ofstream(root_ / "units" / "TolvanServer.service")
            << ServiceInstaller::UnitFileText("/bin/true", "/etc/tolvan/registry.reg");
        const std::string log = (root_ / "verify.log").string();
        EXPECT_EQ(std::system(("systemd-analyze verify --man=no '" + Unit().string() + "' >'" +
                               log + "' 2>&1")
                                  .c_str()),
                  0);
        EXPECT_EQ(TempFolder::Read(log), "");
    }
    // A fifth start 4 x 60 s after the first must still fall inside the window to be refused.
    const auto at = text.find("StartLimitIntervalSec=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(std::stoi(text.substr(at + 22)), 4 * 60);
}

// Paths with blanks, quotes or percent signs survive systemd's own parsing of ExecStart.
TEST_F(ServiceInstallerTest, QuotesExecPaths) {
    EXPECT_EQ(QuoteExecArgument("/usr/bin/TolvanServer"), "/usr/bin/TolvanServer");
    EXPECT_EQ(QuoteExecArgument("/opt/My Tools/TolvanServer"), "\"/opt/My Tools/TolvanServer\"");
    EXPECT_EQ(QuoteExecArgument("/opt/100%/TolvanServer"), "/opt/100%%/TolvanServer");
    EXPECT_EQ(QuoteExecArgument("/opt/a\"b\\c"), "/opt/a\\\"b\\\\c");
}

// Install makes the store's folder, writes the unit, then reloads and enables it, in that
// order.
TEST_F(ServiceInstallerTest, InstallWritesUnitAndRunsSystemctl) {
    EXPECT_TRUE(Installer().Install());
    EXPECT_TRUE(fs::is_directory(Store().parent_path()));
    EXPECT_EQ(TempFolder::Read(Unit().string()),
              ServiceInstaller::UnitFileText("/opt/tolvan/TolvanServer", Store().string()));
    EXPECT_EQ(Calls(), "daemon-reload\nenable TolvanServer\n");
    EXPECT_FALSE(fs::exists(Unit().string() + ".tmp"));
    struct stat info {};
    ASSERT_EQ(stat(Unit().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

// Any failing step, systemctl included, fails the whole.
TEST_F(ServiceInstallerTest, InstallFailures) {
    FailOn("enable");
    EXPECT_FALSE(Installer().Install());

    FailOn("daemon-reload");
    EXPECT_FALSE(Installer().Install());

    FailOn("none");
    InstallerConfig missing;
    missing.unitDir = (root_ / "no-such-folder").string();
    missing.systemctl = systemctl_.string();
    missing.executablePath = "/opt/tolvan/TolvanServer";
    missing.registryPath = Store().string();
    EXPECT_FALSE(ServiceInstaller(missing).Install());

    InstallerConfig noProgram = missing;
    noProgram.unitDir = (root_ / "units").string();
    noProgram.systemctl = (root_ / "no-such-systemctl").string();
    EXPECT_FALSE(ServiceInstaller(noProgram).Install());

    // The sandbox could not start without the store's folder.
    std::ofstream(root_ / "plain") << "a file, not a folder";
    InstallerConfig noStore = noProgram;
    noStore.systemctl = systemctl_.string();
    noStore.registryPath = (root_ / "plain" / "registry.reg").string();
    fs::remove(Unit());
    EXPECT_FALSE(ServiceInstaller(noStore).Install());
    EXPECT_FALSE(fs::exists(Unit()));
}

// Uninstall disables, removes the unit and reloads; a failed disable leaves the unit alone.
TEST_F(ServiceInstallerTest, Uninstall) {
    ASSERT_TRUE(Installer().Install());
    fs::remove(root_ / "calls");

    FailOn("disable");
    EXPECT_FALSE(Installer().Uninstall());
    EXPECT_TRUE(fs::exists(Unit()));

    FailOn("none");
    fs::remove(root_ / "calls");
    EXPECT_TRUE(Installer().Uninstall());
    EXPECT_FALSE(fs::exists(Unit()));
    EXPECT_EQ(Calls(), "disable TolvanServer\ndaemon-reload\n");

    // Nothing left to remove.
    EXPECT_FALSE(Installer().Uninstall());
}

// The environment picks the unit folder and systemctl; unset or empty keeps the defaults.
TEST_F(ServiceInstallerTest, ConfigFromEnvironment) {
    unsetenv("TOLVAN_UNIT_DIR");
    setenv("TOLVAN_SYSTEMCTL", "", 1);
    InstallerConfig config = InstallerConfig::FromEnvironment("/x/TolvanServer", "/x/registry.reg");
    EXPECT_EQ(config.unitDir, "/etc/systemd/system");
    EXPECT_EQ(config.systemctl, "systemctl");
    EXPECT_EQ(config.executablePath, "/x/TolvanServer");
    EXPECT_EQ(config.registryPath, "/x/registry.reg");

    setenv("TOLVAN_UNIT_DIR", "/tmp/units", 1);
    setenv("TOLVAN_SYSTEMCTL", "/bin/true", 1);
    config = InstallerConfig::FromEnvironment("/x/TolvanServer", "/x/registry.reg");
    EXPECT_EQ(config.unitDir, "/tmp/units");
    EXPECT_EQ(config.systemctl, "/bin/true");
    unsetenv("TOLVAN_UNIT_DIR");
    unsetenv("TOLVAN_SYSTEMCTL");
}

}  // namespace
}  // namespace tolvan
