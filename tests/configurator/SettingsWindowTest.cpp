#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"

namespace tolvan::test {
namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        settings_ = std::make_unique<ServerSettings>(
            dir_.filePath(QStringLiteral("registry.reg")).toStdString());
    }

    std::unique_ptr<SettingsWindow> Open() {
        auto window = std::make_unique<SettingsWindow>(
            *settings_, nullptr, autostart_, ServiceControl([this](const std::string& command) {
                commands_.push_back(command);
                return std::string("output nobody reads");
            }),
            QStringLiteral("/opt/tolvan/TolvanServerConfig"));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        return window;
    }

    std::string Stored(const char* name) const {
        return settings_->GetServerSetting("Settings", name, "absent");
    }

    template <typename T>
    static T* Find(QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir_;
    std::unique_ptr<ServerSettings> settings_;
    Autostart autostart_{dir_.filePath(QStringLiteral("autostart"))};
    std::vector<std::string> commands_;
};

// Nothing stored: no log-in start, style frame hidden, normal window, port 5000, Restart.
TEST_F(SettingsWindowTest, OpensWithDefaults) {
    auto window = Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("System Config"));
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkLoadAtLogin")->isChecked());
    EXPECT_TRUE(Find<QWidget>(window.get(), "frameStartupStyle")->isHidden());
    EXPECT_TRUE(Find<QRadioButton>(window.get(), "optStartUpType_0")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(window.get(), "txtBasePort")->text(), QStringLiteral("5000"));
    EXPECT_EQ(Find<QComboBox>(window.get(), "lstServiceControl")->currentText(),
              QStringLiteral("Restart"));

    Find<QCheckBox>(window.get(), "chkLoadAtLogin")->click();
    EXPECT_FALSE(Find<QWidget>(window.get(), "frameStartupStyle")->isHidden());
}

// Stored values are shown as numbers: "05001" as 5001, an unknown style as a normal window.
TEST_F(SettingsWindowTest, ShowsStoredValues) {
    settings_->SaveServerSetting("Settings", "BaseTCPPort", "05001");
    settings_->SaveServerSetting("Settings", "ConfigStartupStyle", "7");
    ASSERT_TRUE(autostart_.Write(QStringLiteral("/opt/tolvan/TolvanServerConfig")));
    {
        auto window = Open();
        EXPECT_EQ(Find<QLineEdit>(window.get(), "txtBasePort")->text(), QStringLiteral("5001"));
        EXPECT_TRUE(Find<QRadioButton>(window.get(), "optStartUpType_0")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkLoadAtLogin")->isChecked());
        EXPECT_FALSE(Find<QWidget>(window.get(), "frameStartupStyle")->isHidden());
    }
    settings_->SaveServerSetting("Settings", "ConfigStartupStyle", "2");
    auto window = Open();
    EXPECT_TRUE(Find<QRadioButton>(window.get(), "optStartUpType_2")->isChecked());
}

// Ticked writes the autostart entry; unticked removes it and still stores the style.
TEST_F(SettingsWindowTest, ConfigUpdateWritesOrRemovesLoginStart) {
    auto window = Open();
    Find<QCheckBox>(window.get(), "chkLoadAtLogin")->click();
    Find<QRadioButton>(window.get(), "optStartUpType_1")->click();
    Find<QPushButton>(window.get(), "cmdConfigUpdate")->click();
    ASSERT_TRUE(autostart_.Exists());
    QFile file(autostart_.FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\nExec=/opt/tolvan/TolvanServerConfig -Login\n"));
    EXPECT_EQ(Stored("ConfigStartupStyle"), "1");

    Find<QCheckBox>(window.get(), "chkLoadAtLogin")->click();
    Find<QRadioButton>(window.get(), "optStartUpType_2")->click();
    Find<QPushButton>(window.get(), "cmdConfigUpdate")->click();
    EXPECT_FALSE(autostart_.Exists());
    EXPECT_EQ(Stored("ConfigStartupStyle"), "2");
}

// The base port takes digits only; an empty box or an impossible port stores nothing.
TEST_F(SettingsWindowTest, BasePortUpdate) {
    auto window = Open();
    auto* edit = Find<QLineEdit>(window.get(), "txtBasePort");
    auto* update = Find<QPushButton>(window.get(), "cmdServerUpdate");
    edit->clear();
    update->click();
    EXPECT_EQ(Stored("BaseTCPPort"), "absent");
    QTest::keyClicks(edit, QStringLiteral("0x6-001"));
    EXPECT_EQ(edit->text(), QStringLiteral("06001"));
    update->click();
    EXPECT_EQ(Stored("BaseTCPPort"), "6001");
    edit->setText(QStringLiteral("99999"));
    update->click();
    EXPECT_EQ(Stored("BaseTCPPort"), "6001");
}

// Restart stops, then starts; Start and Stop run one command each; the button comes back.
TEST_F(SettingsWindowTest, ServiceControlCommands) {
    qputenv("TOLVAN_SYSTEMCTL", "/usr/bin/fakectl --user");
    auto window = Open();
    auto* list = Find<QComboBox>(window.get(), "lstServiceControl");
    auto* button = Find<QPushButton>(window.get(), "cmdServiceControl");
    button->click();
    list->setCurrentIndex(1);
    button->click();
    list->setCurrentIndex(2);
    button->click();
    qunsetenv("TOLVAN_SYSTEMCTL");
    EXPECT_EQ(commands_, (std::vector<std::string>{"/usr/bin/fakectl --user stop TolvanServer",
                                                   "/usr/bin/fakectl --user start TolvanServer",
                                                   "/usr/bin/fakectl --user start TolvanServer",
                                                   "/usr/bin/fakectl --user stop TolvanServer"}));
    EXPECT_TRUE(button->isEnabled());
}

// An executable path with blanks is quoted in Exec=; the default directory follows XDG.
TEST(AutostartTest, QuotingAndDefaultDirectory) {
    EXPECT_EQ(Autostart::LoginCommandLine(QStringLiteral("/opt/my tools/TolvanServerConfig")),
              QStringLiteral("\"/opt/my tools/TolvanServerConfig\" -Login"));
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    EXPECT_EQ(Autostart::DefaultDirectory(), QStringLiteral("/tmp/xdg-test/autostart"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(Autostart::DefaultDirectory().endsWith(QStringLiteral("/.config/autostart")));
}

}  // namespace
}  // namespace tolvan::test
