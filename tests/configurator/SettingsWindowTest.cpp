#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"
#include "tests/configurator/ConfiguratorFixture.h"

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
        auto window =
            std::make_unique<SettingsWindow>(*settings_, service_, nullptr, autostart_,
                                             QStringLiteral("/opt/tolvan/TolvanServerConfig"));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->SetAsk([this](QWidget*, const QString&, const QString& text,
                              QMessageBox::StandardButtons, QMessageBox::StandardButton) {
            asked_ << text;
            return answer_;
        });
        return window;
    }

    std::string Stored(const char* name) const {
        return settings_->GetServerSetting("Settings", name, "absent");
    }

    template <typename T>
    static T* Find(QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    static QString Shown(QWidget* window, const char* label) {
        auto* found = Find<QLabel>(window, label);
        return found->isHidden() ? QString() : found->text();
    }

    QTemporaryDir dir_;
    std::unique_ptr<ServerSettings> settings_;
    Autostart autostart_{dir_.filePath(QStringLiteral("autostart"))};
    ServiceControl service_;
    QStringList asked_;
    QMessageBox::StandardButton answer_ = QMessageBox::No;
};

// The state comes from systemctl without blocking; Stop asks first; a refusal shows
// systemctl's own words.
TEST_F(SettingsWindowTest, ServiceControlShowsStateAndFailures) {
    FakeSystemctl systemctl(dir_);
    systemctl.SetState("active");
    auto window = Open();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Shown(window.get(), "lblServiceState").contains(QStringLiteral("running"));
    }));

    auto* stop = Find<QPushButton>(window.get(), "cmdServiceStop");
    stop->click();
    ASSERT_EQ(asked_.size(), 1);
    EXPECT_TRUE(asked_[0].startsWith(QStringLiteral("Stop the Tolvan Server service?")));
    answer_ = QMessageBox::Yes;
    stop->click();
    EXPECT_FALSE(stop->isEnabled());  // while systemctl runs
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Shown(window.get(), "lblServiceState").contains(QStringLiteral("stopped"));
    }));
    EXPECT_EQ(Shown(window.get(), "lblServiceResult"), QStringLiteral("The service was stopped."));

    systemctl.Refuse("Failed to start TolvanServer.service: Access denied");
    Find<QPushButton>(window.get(), "cmdServiceStart")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Shown(window.get(), "lblServiceResult").endsWith(QStringLiteral("Access denied"));
    }));
    Find<QPushButton>(window.get(), "cmdServiceRestart")->click();
    // Each command is followed by a fresh look at the state.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return systemctl.Log().count(QStringLiteral("is-active TolvanServer")) == 4; }));
    EXPECT_TRUE(systemctl.Log().contains(QStringLiteral("\nstop TolvanServer\n")));
    EXPECT_TRUE(systemctl.Log().contains(QStringLiteral("\nrestart TolvanServer\n")));
}

// A base port must leave room for COM16; a wrong one says so beside the field and is not
// stored, a good one is stored and confirmed.
TEST_F(SettingsWindowTest, BasePortIsCheckedAndConfirmed) {
    settings_->SaveServerSetting("Settings", "BaseTCPPort", "05001");
    auto window = Open();
    auto* edit = Find<QLineEdit>(window.get(), "txtBasePort");
    auto* save = Find<QPushButton>(window.get(), "cmdServerUpdate");
    EXPECT_EQ(edit->text(), QStringLiteral("5001"));
    for (const char* bad : {"", "0", "65530", "99999"}) {
        edit->setText(QString::fromLatin1(bad));
        save->click();
        EXPECT_TRUE(Shown(window.get(), "lblBasePortResult").contains(QStringLiteral("65519")))
            << bad;
        EXPECT_EQ(Stored("BaseTCPPort"), "05001") << bad;
    }
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("x6-0a01"));
    EXPECT_EQ(edit->text(), QStringLiteral("6001"));
    EXPECT_TRUE(Shown(window.get(), "lblBasePortResult").isEmpty());
    save->click();
    EXPECT_EQ(Stored("BaseTCPPort"), "6001");
    EXPECT_TRUE(Shown(window.get(), "lblBasePortResult").contains(QStringLiteral("6001 saved")));
}

// The stored log-in start shows when the window opens; saving writes or removes the entry and
// always stores the style.
TEST_F(SettingsWindowTest, LoginStartIsShownAndSaved) {
    settings_->SaveServerSetting("Settings", "ConfigStartupStyle", "7");
    {
        auto window = Open();
        EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkLoadAtLogin")->isChecked());
        EXPECT_TRUE(Find<QWidget>(window.get(), "frameStartupStyle")->isHidden());
        EXPECT_TRUE(Find<QRadioButton>(window.get(), "optStartUpType_0")->isChecked());
        Find<QCheckBox>(window.get(), "chkLoadAtLogin")->click();
        EXPECT_FALSE(Find<QWidget>(window.get(), "frameStartupStyle")->isHidden());
        Find<QRadioButton>(window.get(), "optStartUpType_1")->click();
        Find<QPushButton>(window.get(), "cmdConfigUpdate")->click();
        EXPECT_TRUE(Shown(window.get(), "lblConfigResult").startsWith(QStringLiteral("Saved")));
    }
    ASSERT_TRUE(autostart_.Exists());
    QFile file(autostart_.FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\nExec=/opt/tolvan/TolvanServerConfig -Login\n"));
    EXPECT_EQ(Stored("ConfigStartupStyle"), "1");

    auto window = Open();
    EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkLoadAtLogin")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(window.get(), "optStartUpType_1")->isChecked());
    Find<QCheckBox>(window.get(), "chkLoadAtLogin")->click();
    Find<QRadioButton>(window.get(), "optStartUpType_2")->click();
    Find<QPushButton>(window.get(), "cmdConfigUpdate")->click();
    EXPECT_FALSE(autostart_.Exists());
    EXPECT_EQ(Stored("ConfigStartupStyle"), "2");
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
