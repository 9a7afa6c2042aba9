#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <string>

#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "settings_store/RegistryStore.h"
#include "tests/configurator/ConsolePeer.h"

namespace tolvan::test {

inline const std::string kSettingsKey = std::string(kServiceKey) + "\\Settings";

// A stand-in for systemctl, named by TOLVAN_SYSTEMCTL: "is-active" prints the state kept in a
// file, "start"/"stop"/"restart" change it and are logged, and while a refusal is set they
// fail with it as systemctl does.
class FakeSystemctl {
public:
    explicit FakeSystemctl(const QTemporaryDir& dir)
        : script_(dir.filePath(QStringLiteral("systemctl"))),
          state_(dir.filePath(QStringLiteral("state"))),
          log_(dir.filePath(QStringLiteral("log"))),
          refusal_(dir.filePath(QStringLiteral("refusal"))) {
        QFile file(script_);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QStringLiteral(
                           "#!/bin/sh\n"
                           "echo \"$*\" >> '%1'\n"
                           "case \"$1\" in\n"
                           "is-active) cat '%2'; exit 0;;\n"
                           "esac\n"
                           "if [ -s '%3' ]; then cat '%3' >&2; exit 4; fi\n"
                           "case \"$1\" in stop) echo inactive > '%2';; *) echo active > '%2';; "
                           "esac\n")
                           .arg(log_, state_, refusal_)
                           .toUtf8());
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        SetState("inactive");
        qputenv("TOLVAN_SYSTEMCTL", script_.toUtf8());
    }
    ~FakeSystemctl() { qunsetenv("TOLVAN_SYSTEMCTL"); }

    void SetState(const char* state) { Write(state_, QByteArray(state) + '\n'); }
    void Refuse(const char* message) { Write(refusal_, message); }
    // Every command run, one per line: "start TolvanServer".
    QString Log() const {
        QFile file(log_);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    static void Write(const QString& path, const QByteArray& text) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(text);
        }
    }
    QString script_;
    QString state_;
    QString log_;
    QString refusal_;
};

// A main window connected to a scripted console peer whose port sits in a temporary store
// named by TOLVAN_REGISTRY. The start-up requests are consumed; questions are answered by
// answer_ and recorded in asked_; the two-second refresh stays off unless a test wants it.
class ConfiguratorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        storePath_ = dir_.filePath(QStringLiteral("registry.reg")).toStdString();
        qputenv("TOLVAN_REGISTRY", QByteArray::fromStdString(storePath_));
        ASSERT_TRUE(peer_.Listen());
        RegistryStore(storePath_)
            .RegWriteValue(kSettingsKey, "BaseTCPPort", REG_SZ, std::to_string(peer_.Port()));
        settings_ = std::make_unique<ServerSettings>(ServerSettings::StorePathFromEnvironment());
        window_ = std::make_unique<MainWindow>(*settings_);
        window_->SetQuitHandler([] {});
        window_->SetAsk([this](QWidget*, const QString&, const QString& text,
                               QMessageBox::StandardButtons, QMessageBox::StandardButton) {
            asked_ << text;
            return answer_;
        });
        RefreshTimer().stop();
        // A version report "marker" is answered with a version request: everything the window
        // sent in reaction to earlier reports arrives before that answer.
        ConsoleClient& client = window_->Client();
        QObject::connect(&client, &ConsoleClient::VersionReport, &client,
                         [&client](const std::string& version, const std::string&) {
                             if (version == "marker") {
                                 client.SendVersionRequest();
                             }
                         });
        window_->Client().ConnectToServer();
        ASSERT_TRUE(peer_.WaitForClient());
        ASSERT_TRUE(peer_.WaitForFrames(2));
        startupRaw_ = peer_.Raw();
        peer_.ClearReceived();
    }

    void TearDown() override {
        window_.reset();
        qunsetenv("TOLVAN_REGISTRY");
    }

    QTimer& RefreshTimer() const {
        return *window_->findChild<QTimer*>(QStringLiteral("refreshTimer"));
    }

    // Sends the port list "2|1|3" and consumes the four requests for the first port.
    void SelectFirstPort() {
        peer_.Send("D3", "2|1|3");
        ASSERT_TRUE(peer_.WaitForFrames(4));
        peer_.ClearReceived();
    }

    // The frames the window sent so far, including those caused by reports sent before:
    // "nothing was sent" is checked only after everything has been through.
    std::vector<std::string> SentSoFar() {
        peer_.Send("DB", "marker");
        std::vector<std::string> frames = peer_.FramesBefore("DB|0|");
        peer_.ClearReceived();
        return frames;
    }

    template <typename T>
    T* Find(const char* name) const {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }

    QString ListText(const char* name) const { return Find<QComboBox>(name)->currentText(); }

    QTemporaryDir dir_;
    std::string storePath_;
    std::string startupRaw_;
    ConsolePeer peer_;
    std::unique_ptr<ServerSettings> settings_;
    std::unique_ptr<MainWindow> window_;
    QStringList asked_;
    QMessageBox::StandardButton answer_ = QMessageBox::Cancel;
};

}  // namespace tolvan::test
