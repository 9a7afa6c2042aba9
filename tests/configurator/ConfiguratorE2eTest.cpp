#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <map>
#include <memory>

#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/StatusLine.h"
#include "configurator/TraceWindow.h"
#include "configurator/WindowFrame.h"
#include "console_protocol/PortSettingsTable.h"
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
        // Values the first configurator could not show and wrote back as something else.
        box_.SetValue("Port1", "Settings", "115200,n,8,1");
        box_.SetValue("Port1", "InBufferSize", "8192");
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
    // Every value the store holds for COM1 that the console carries.
    std::map<std::string, std::string> StoredPort() const {
        std::map<std::string, std::string> values;
        for (const console::PortSettingRow& row : console::PortSettingRows()) {
            values[std::string(row.name)] = Stored(std::string(row.name));
        }
        return values;
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

// Editing the description and pressing Update stores the description and leaves every other
// stored value as it was, the baud rate, buffer and default lock-out included; the server's
// report then fills the window again.
TEST_F(ConfiguratorE2e, UpdateKeepsEveryStoredValue) {
    auto* lstPort = Find<QComboBox>("lstPort");
    ASSERT_EQ(lstPort->count(), 1);
    EXPECT_TRUE(lstPort->currentText().startsWith(QStringLiteral("COM1")));
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONIDLE"));
    EXPECT_EQ(Find<QComboBox>("lstBaud")->currentText(), QStringLiteral("115200"));
    const std::map<std::string, std::string> before = StoredPort();

    auto* description = Find<QLineEdit>("txtPortDescription");
    description->setText(QStringLiteral("Bench scale | bay 2"));
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_FALSE(Settings()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Settings()->isEnabled(); }, 5000));
    EXPECT_EQ(Stored("PortDescription"), "Bench scale | bay 2");
    EXPECT_EQ(Stored("Settings"), "115200,n,8,1");
    EXPECT_EQ(Stored("BadPasswordShutdownLength"), "600");
    EXPECT_EQ(Stored("InBufferSize"), "8192");
    std::map<std::string, std::string> after = StoredPort();
    after.erase("PortDescription");
    for (const auto& [name, value] : after) {
        if (before.at(name) != kNotFound) {
            EXPECT_EQ(value, before.at(name)) << name;
        }
    }

    // The answer is the server's report: nothing is left unsent, and the window says so.
    EXPECT_EQ(description->text(), QStringLiteral("Bench scale | bay 2"));
    EXPECT_FALSE(Find<QPushButton>("cmdRevert")->isEnabled());
    EXPECT_TRUE(window_->Status().Text().contains(QStringLiteral("COM1 were stored")));
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
