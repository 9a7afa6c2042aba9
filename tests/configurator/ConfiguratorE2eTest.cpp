#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/TraceWindow.h"
#include "configurator/WindowFrame.h"
#include "settings_store/RegistryStore.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

// The configurator's real main window in this process against the real TolvanServer -debug,
// both reading the same store, with COM1 on a pseudo-terminal.
class ConfiguratorE2e : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    // Gone before the end of main, while Qt's own globals still exist.
    static void TearDownTestSuite() { app_.reset(); }

    void SetUp() override {
        device_ = &box_.AddPty(1);
        box_.EnablePort(1, "Mirelo");
        ASSERT_TRUE(box_.Start());
        ASSERT_TRUE(box_.WaitUntilReady()) << box_.Stderr();
        ASSERT_TRUE(WaitFor([this] { return IsListening(box_.DataPort(1)); }, Millis(5000)));

        qputenv("TOLVAN_REGISTRY", QByteArray::fromStdString(box_.RegistryPath()));
        settings_ = std::make_unique<ServerSettings>(ServerSettings::StorePathFromEnvironment());
        window_ = std::make_unique<MainWindow>(*settings_);
        window_->SetQuitHandler([] {});
        window_->Start({});
        ASSERT_TRUE(QTest::qWaitFor([this] { return Settings()->isEnabled() && Shown(); }, 10000))
            << box_.Stderr();
    }

    void TearDown() override {
        window_.reset();
        qunsetenv("TOLVAN_REGISTRY");
    }

    template <typename T>
    T* Find(const char* name) const {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    QWidget* Settings() const { return Find<QWidget>("framePortSettings"); }
    bool Shown() const { return !Settings()->isHidden(); }

    std::string Stored(const std::string& name) const {
        return RegistryStore(box_.RegistryPath())
            .RegReadValue(std::string(kServiceKey) + "\\Port1", name);
    }

    static inline int argc_ = 1;
    static inline char name_[] = "configurator_e2e_tests";
    static inline char* argv_[] = {name_, nullptr};
    static inline std::unique_ptr<QApplication> app_;

    ServerSandbox box_;
    PseudoTerminal* device_ = nullptr;
    std::unique_ptr<ServerSettings> settings_;
    std::unique_ptr<MainWindow> window_;
};

// The port list shows COM1; an update made with the window's controls is saved by the server
// and comes back in its report.
TEST_F(ConfiguratorE2e, UpdateIsSavedAndShownAgain) {
    auto* lstPort = Find<QComboBox>("lstPort");
    ASSERT_EQ(lstPort->count(), 1);
    EXPECT_EQ(lstPort->currentText(), QStringLiteral("Com1"));
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONIDLE"));

    auto* connections = Find<QComboBox>("lstConnections");
    auto* description = Find<QLineEdit>("txtPortDescription");
    connections->setCurrentIndex(connections->findText(QStringLiteral("5")));
    description->setText(QStringLiteral("Bench scale | bay 2"));
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_FALSE(Settings()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Settings()->isEnabled(); }, 5000));
    EXPECT_EQ(Stored("MaxConnections"), "5");
    EXPECT_EQ(Stored("PortDescription"), "Bench scale | bay 2");

    // Spoil the controls, then let the server's reports fill them again.
    connections->setCurrentIndex(0);
    description->clear();
    window_->SelectPort();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Shown() && Settings()->isEnabled(); }, 5000));
    EXPECT_EQ(connections->currentText(), QStringLiteral("5"));
    EXPECT_EQ(description->text(), QStringLiteral("Bench scale | bay 2"));
}

// With COM1 ticked, bytes from the serial line show in the trace window as the server reports
// them, and the live client shows in the window's icon.
TEST_F(ConfiguratorE2e, TraceShowsLiveSerialData) {
    window_->MenuAction(QStringLiteral("mnuTracEwINDOW"))->trigger();
    TraceWindow* trace = window_->Frame().OpenedTraceWindow();
    ASSERT_NE(trace, nullptr);
    trace->findChild<QListWidget*>(QStringLiteral("lstPorts"))->item(0)->setCheckState(Qt::Checked);

    TcpClient client;
    ASSERT_TRUE(client.Connect(box_.DataPort(1)));
    ASSERT_NE(client.ReadUntil("Password:").find("Password:"), std::string::npos);
    ASSERT_TRUE(client.Write("Mirelo\r"));
    ASSERT_NE(client.ReadUntil("Connected....\r\n").find("Connected...."), std::string::npos);
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return window_->IconName() == QStringLiteral("ICON1"); }, 5000));

    // The trace switch travels on its own; send until the server traces the port.
    const QString expected = QStringLiteral("Serial In -> AT<0D><0A>");
    bool seen = false;
    for (int attempt = 0; attempt < 10 && !seen; ++attempt) {
        ASSERT_TRUE(device_->Write("AT\r\n"));
        seen = QTest::qWaitFor([&] { return trace->TraceText().contains(expected); }, 500);
    }
    EXPECT_TRUE(seen) << trace->TraceText().toStdString();
    EXPECT_EQ(client.ReadUntil("AT\r\n").substr(0, 4), "AT\r\n");

    client.Close();
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return window_->IconName() == QStringLiteral("ICONIDLE"); }, 5000));
}

}  // namespace
}  // namespace tolvan::e2e
