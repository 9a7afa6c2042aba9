#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "settings_store/RegistryStore.h"
#include "tests/configurator/ConsolePeer.h"

namespace tolvan::test {

inline const std::string kSettingsKey = std::string(kServiceKey) + "\\Settings";

// A main window connected to a scripted console peer whose port sits in a temporary store
// named by TOLVAN_REGISTRY. The start-up requests are consumed.
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

    // Sends the port list "2|1|3" and consumes the three requests for the first port.
    void SelectFirstPort() {
        peer_.Send("D3", "2|1|3");
        ASSERT_TRUE(peer_.WaitForFrames(3));
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
};

}  // namespace tolvan::test
