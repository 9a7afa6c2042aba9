#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "server/core/Counters.h"
#include "server/core/HostContext.h"
#include "server/core/ListenAddress.h"
#include "server/core/LogFile.h"
#include "server/core/PortSettings.h"
#include "server/core/ServiceSettings.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingEventLogSink.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

// A host context on a store file of its own, with one port per given COM number.
class HostCoreTest : public ::testing::Test {
protected:
    HostCoreTest()
        : store(folder.File("registry.reg"),
                [this](const std::string& text) { storeErrors.push_back(text); }),
          log(sink, clock),
          context(clock, log, store) {}

    void AddPort(int number) {
        context.ports.emplace_back();
        context.ports.back().PortNumber = static_cast<uint8_t>(number);
    }
    void Put(int port, const std::string& name, const std::string& text, int type = REG_SZ) {
        ASSERT_TRUE(
            store.RegWriteValue(ServiceKeyPath("Port" + std::to_string(port)), name, type, text));
    }
    std::string Get(int port, const std::string& name) {
        return store.RegReadValue(ServiceKeyPath("Port" + std::to_string(port)), name);
    }

    TempFolder folder;
    std::vector<std::string> storeErrors;
    RegistryStore store;
    FakeClock clock;
    RecordingEventLogSink sink;
    EventLog log;
    HostContext context;
};

TEST_F(HostCoreTest, EmptyStoreGivesEveryDefault) {
    AddPort(1);
    LoadPortSettings(context, 0);
    const PortRecord& p = context.ports[0];
    EXPECT_EQ(p.Settings, "9600,n,8,1");
    EXPECT_FALSE(p.Enabled);
    EXPECT_TRUE(p.AcceptInput);
    EXPECT_EQ(p.MaxConnections, 3);
    EXPECT_TRUE(p.DTREnable);
    EXPECT_TRUE(p.RTSEnable);
    EXPECT_EQ(p.InBufferSize, 2048);
    EXPECT_EQ(p.OutBufferSize, 1024);
    EXPECT_EQ(p.Handshaking, 0);
    EXPECT_EQ(p.ConnectPassword, "");  // start-up gives the port a password of its own
    EXPECT_EQ(p.MaxPasswordAttemps, 4);
    EXPECT_EQ(p.BadPasswordShutdownLength, 600);
    EXPECT_EQ(p.MaxIdleTime, 0);
    EXPECT_EQ(p.LogFile, "");
    EXPECT_EQ(p.ServiceType, 0);
    EXPECT_EQ(p.RemoteIP, "");
    EXPECT_EQ(p.RemotePort, 0);
    EXPECT_FALSE(p.AllwaysConnected);
    EXPECT_EQ(p.PortDescription, "");
    EXPECT_EQ(p.KeepAliveTimeout, 900);
    EXPECT_EQ(p.CountersResetTime, clock.NowLocal());
    EXPECT_TRUE(sink.entries.empty());

    ReadGlobalSettings(context);
    EXPECT_EQ(context.settings.BaseTCPPort, 5000);
    EXPECT_EQ(context.settings.IdleTimeCheckInterval, 60);
    EXPECT_EQ(context.settings.ListeningPortCheckInterval, 60);
    EXPECT_EQ(context.settings.ConstantConnectClientCheckInterval, 30);
    EXPECT_EQ(context.settings.StallSeconds, 10);
}

TEST_F(HostCoreTest, BooleansAcceptWordsInAnyCaseAndNumbers) {
    AddPort(3);
    Put(3, "Enabled", "true");
    Put(3, "AcceptInput", "-1");
    Put(3, "DTREnable", "FALSE");
    Put(3, "RTSEnable", " 0 ");
    LoadPortSettings(context, 0);
    EXPECT_TRUE(context.ports[0].Enabled);
    EXPECT_TRUE(context.ports[0].AcceptInput);
    EXPECT_FALSE(context.ports[0].DTREnable);
    EXPECT_FALSE(context.ports[0].RTSEnable);
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(HostCoreTest, UnconvertibleValuesAreReportedTakeTheirDefaultAndLaterValuesStillLoad) {
    AddPort(3);
    Put(3, "Enabled", "yes");
    Put(3, "MaxConnections", "300");
    Put(3, "InBufferSize", "abc");
    Put(3, "KeepAliveTimeout", "40000");
    Put(3, "RemotePort", "4001");
    LoadPortSettings(context, 0);
    const PortRecord& p = context.ports[0];
    EXPECT_FALSE(p.Enabled);
    EXPECT_EQ(p.MaxConnections, 15);  // beyond the range: the nearest bound
    EXPECT_EQ(p.InBufferSize, 2048);
    EXPECT_EQ(p.KeepAliveTimeout, 32767);
    EXPECT_EQ(p.RemotePort, 4001);
    ASSERT_EQ(sink.entries.size(), 4u);
    for (const auto& entry : sink.entries) {
        EXPECT_EQ(entry.type, kEventError);
        EXPECT_EQ(entry.id, kEventIdError);
        EXPECT_NE(entry.text.find(" M2S5 "), std::string::npos) << entry.text;
    }
    EXPECT_TRUE(sink.Contains("invalid Enabled 'yes': accepts True or False (Port3), False used"));
    EXPECT_TRUE(sink.Contains("invalid MaxConnections '300': accepts a whole number from 1 to 15"));
}

TEST_F(HostCoreTest, DwordValuesAndEightBitFieldsConvert) {
    AddPort(1);
    Put(1, "MaxConnections", "5", REG_DWORD);  // reads "005"
    Put(1, "Handshaking", "2");
    Put(1, "ServiceType", "7");
    Put(1, "LogFile", "  /var/log/tolvan/com1.log  ");
    LoadPortSettings(context, 0);
    EXPECT_EQ(context.ports[0].MaxConnections, 5);
    EXPECT_EQ(context.ports[0].Handshaking, 2);
    EXPECT_EQ(context.ports[0].ServiceType, 1);
    EXPECT_EQ(context.ports[0].LogFile, "/var/log/tolvan/com1.log");
    Put(1, "Handshaking", "two");
    LoadPortSettings(context, 0);
    EXPECT_EQ(context.ports[0].Handshaking, 0);
    EXPECT_EQ(sink.Count("M2S5 "), 1);
}

TEST_F(HostCoreTest, SavedPortLoadsBackIncludingClientModeAndIdleTime) {
    AddPort(4);
    PortRecord& p = context.ports[0];
    static_cast<console::PortSettingValues&>(p) = console::DefaultPortSettings();
    p.Settings = " 19200,e,7,2 ";
    p.Enabled = true;
    p.MaxConnections = 15;
    p.ConnectPassword = " secret ";
    p.MaxIdleTime = 45;
    p.ServiceType = 7;
    p.RemoteIP = " 10.0.0.1 ";
    p.RemotePort = 4001;
    p.AllwaysConnected = true;
    p.PortDescription = "  Line printer  ";
    p.KeepAliveTimeout = 0;
    SavePortSettings(context, 0);
    EXPECT_EQ(Get(4, "ServiceType"), "1");
    EXPECT_EQ(Get(4, "Enabled"), "True");
    EXPECT_EQ(Get(4, "PortDescription"), "Line printer");
    EXPECT_NE(TempFolder::Read(folder.File("registry.reg")).find("\"MaxIdletime\"=\"45\""),
              std::string::npos);

    context.ports[0] = PortRecord{};
    context.ports[0].PortNumber = 4;
    LoadPortSettings(context, 0);
    const PortRecord& q = context.ports[0];
    EXPECT_EQ(q.Settings, " 19200,e,7,2 ");
    EXPECT_EQ(q.ConnectPassword, " secret ");
    EXPECT_EQ(q.MaxIdleTime, 45);
    EXPECT_EQ(q.ServiceType, 1);
    EXPECT_EQ(q.RemoteIP, "10.0.0.1");
    EXPECT_EQ(q.RemotePort, 4001);
    EXPECT_TRUE(q.AllwaysConnected);
    EXPECT_EQ(q.MaxConnections, 15);
    EXPECT_EQ(q.KeepAliveTimeout, 0);
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(HostCoreTest, SaveAndLoadOfAMissingPortAreTrapped) {
    LoadPortSettings(context, 0);
    SavePortSettings(context, 2);
    EXPECT_EQ(sink.Count("M2S5 "), 1);
    EXPECT_EQ(sink.Count("M2S6 "), 1);
}

TEST_F(HostCoreTest, FailedSaveIsReportedNotSilent) {
    TempFolder::Write(folder.File("registry.reg"), "garbage\n");
    AddPort(1);
    SavePortSettings(context, 0);
    EXPECT_EQ(sink.Count("M2S6 "), 1);
    EXPECT_FALSE(storeErrors.empty());
    EXPECT_EQ(TempFolder::Read(folder.File("registry.reg")), "garbage\n");
}

TEST_F(HostCoreTest, GlobalSettingsOutOfRangeFallBackToDefaults) {
    const std::string settings = ServiceKeyPath("Settings");
    ASSERT_TRUE(store.RegWriteValue(settings, "BaseTCPPort", REG_SZ, "65520"));
    ASSERT_TRUE(store.RegWriteValue(settings, "IdleTimeCheckInterval", REG_SZ, " 15 "));
    ASSERT_TRUE(store.RegWriteValue(settings, "ListeningPortCheckInterval", REG_SZ, "0"));
    ASSERT_TRUE(store.RegWriteValue(settings, "ConstantConnectClientCheckInterval", REG_SZ, "x"));
    ASSERT_TRUE(store.RegWriteValue(settings, "ListenAddress", REG_SZ, "example.org"));
    ASSERT_TRUE(store.RegWriteValue(settings, "StallSeconds", REG_SZ, "3601"));
    ReadGlobalSettings(context);
    EXPECT_EQ(context.settings.BaseTCPPort, 5000);
    EXPECT_EQ(context.settings.IdleTimeCheckInterval, 15);
    EXPECT_EQ(context.settings.ListeningPortCheckInterval, 60);
    EXPECT_EQ(context.settings.ConstantConnectClientCheckInterval, 30);
    EXPECT_EQ(context.settings.ListenAddress, "");
    EXPECT_EQ(context.settings.StallSeconds, 10);
    EXPECT_EQ(sink.Count("M2S16 "), 5);
    EXPECT_TRUE(sink.Contains("'65520'"));
    EXPECT_TRUE(sink.Contains("'example.org' for \"ListenAddress\""));

    ASSERT_TRUE(store.RegWriteValue(settings, "BaseTCPPort", REG_SZ, "65519"));
    ASSERT_TRUE(store.RegWriteValue(settings, "StallSeconds", REG_SZ, "3600"));
    ReadGlobalSettings(context);
    EXPECT_EQ(context.settings.BaseTCPPort, 65519);
    EXPECT_EQ(context.settings.StallSeconds, 3600);
}

// ListenAddress: blank for every address, localhost, or a literal in its normal form; names
// and anything else are not addresses.
TEST(ListenAddress, TakesLiteralsAndLocalhostOnly) {
    EXPECT_EQ(NormalListenAddress(""), "");
    EXPECT_EQ(NormalListenAddress("  "), "");
    EXPECT_EQ(NormalListenAddress(" LocalHost "), "127.0.0.1");
    EXPECT_EQ(NormalListenAddress("192.168.001.010"), std::nullopt);
    EXPECT_EQ(NormalListenAddress("10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(NormalListenAddress("[0:0:0:0:0:0:0:1]"), "::1");
    EXPECT_EQ(NormalListenAddress("fe80::1%eth0"), std::nullopt);
    EXPECT_EQ(NormalListenAddress("10.0.0.5:80"), std::nullopt);
    EXPECT_EQ(NormalListenAddress(std::string(100, '1')), std::nullopt);
    EXPECT_EQ(ListenEndpoints("", 5001), "0.0.0.0:5001 and [::]:5001");
    EXPECT_EQ(ListenEndpoints("::1", 5001), "[::1]:5001");
    EXPECT_EQ(ListenEndpoints("127.0.0.1", 5001), "127.0.0.1:5001");
}

// LogDirectory comes from the store only; a stored LogFile outside it is reported at load,
// escaped, and leaves the port without a log; SIGHUP's reopen follows a rotated file and the
// current folder.
TEST_F(HostCoreTest, LogFilesStayInsideTheLogDirectory) {
    const std::string settings = ServiceKeyPath("Settings");
    ASSERT_TRUE(store.RegWriteValue(settings, "LogDirectory", REG_SZ, "../relative"));
    ReadGlobalSettings(context);
    EXPECT_EQ(context.settings.LogDirectory, "/var/log/tolvan");
    EXPECT_TRUE(sink.Contains("M2S16 invalid value '../relative' for \"LogDirectory\""));
    ASSERT_TRUE(store.RegWriteValue(settings, "LogDirectory", REG_SZ, folder.File("logs/")));
    ReadGlobalSettings(context);
    EXPECT_EQ(context.settings.LogDirectory, folder.File("logs"));

    AddPort(1);
    AddPort(2);
    Put(1, "LogFile", "../registry.reg\x1b[2J");
    Put(2, "LogFile", folder.File("logs/com2.log"));
    Put(2, "Enabled", "True");
    LoadPortSettings(context, 0);
    LoadPortSettings(context, 1);
    EXPECT_EQ(context.ports[0].LogFile, "");
    EXPECT_TRUE(sink.Contains("M3S1 LogFile '../registry.reg<1B>[2J' of Port1 refused"));
    EXPECT_EQ(sink.Count("M3S"), 1);

    // The folder is not there yet: reported, not created.
    ReopenLogFiles(context);
    EXPECT_FALSE(context.ports[0].LogToFile);
    EXPECT_FALSE(context.ports[1].LogToFile);
    EXPECT_TRUE(sink.Contains("M3S2 LogFile '" + folder.File("logs/com2.log") + "' of Port2"));
    std::filesystem::create_directory(folder.File("logs"));
    ReopenLogFiles(context);
    ASSERT_TRUE(context.ports[1].LogToFile);
    AppendLogFile(context.ports[1], "one");
    std::filesystem::rename(folder.File("logs/com2.log"), folder.File("logs/com2.log.1"));
    ReopenLogFiles(context);
    AppendLogFile(context.ports[1], "two");
    EXPECT_EQ(TempFolder::Read(folder.File("logs/com2.log.1")), "one");
    EXPECT_EQ(TempFolder::Read(folder.File("logs/com2.log")), "two");

    // A new LogDirectory applies at the next reopen; the old path is outside it now.
    context.settings.LogDirectory = folder.File("elsewhere");
    ReopenLogFiles(context);
    EXPECT_FALSE(context.ports[1].LogToFile);
    EXPECT_EQ(sink.Count("M3S1"), 2);
}

TEST_F(HostCoreTest, CountersWrapAndTakeThirtyTwoBitAmounts) {
    AddPort(1);
    context.ports[0].Counters[kCounterFromSerial] = 1999999999;
    AddToCounter(context, 0, kCounterFromSerial, 2);
    EXPECT_EQ(context.ports[0].Counters[kCounterFromSerial], 1);
    AddToCounter(context, 0, kCounterToSerial, 40000);
    EXPECT_EQ(context.ports[0].Counters[kCounterToSerial], 40000);
    context.ports[0].Counters[kCounterToSerial] = 2000000000;
    AddToCounter(context, 0, kCounterToSerial, 2147483647);
    EXPECT_EQ(context.ports[0].Counters[kCounterToSerial], 147483647);
    AddToCounter(context, 0, kCounterCount, 1);
    AddToCounter(context, 1, 0, 1);
    EXPECT_EQ(sink.Count("M2S14 "), 2);
}

}  // namespace
}  // namespace tolvan
