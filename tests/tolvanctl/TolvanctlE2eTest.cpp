// tolvanctl, the real program, against the real server.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

using namespace Qt::StringLiterals;

class TolvanctlE2eTest : public ::testing::Test {
protected:
    // One run of tolvanctl with the sandbox's store, to its end.
    RunResult Ctl(const std::vector<std::string>& args) {
        return RunToEnd(TOLVAN_CTL_BINARY, args, box.Environment(), box.Dir().Path().string(),
                        Millis(20000));
    }
    static int Exit(const RunResult& run) {
        return run.status && run.status->exited ? run.status->code : -1;
    }
    // The run's output as one JSON document.
    static QJsonObject Json(const RunResult& run) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
        return document.object();
    }
    static std::string Text(const QJsonValue& value) { return value.toString().toStdString(); }

    std::string Stored(int com, const std::string& name) {
        return box.Store().RegReadValue(std::string(kServiceKey) + "\\Port" + std::to_string(com),
                                        name);
    }
    // tolvanctl trace running in the background, ready once it says so.
    bool StartTrace(ServerProcess& trace, const std::string& name,
                    const std::vector<std::string>& args) {
        return trace.Start(TOLVAN_CTL_BINARY, args, box.Environment(),
                           box.Dir().File(name + ".out"), box.Dir().File(name + ".err")) &&
               WaitFor(
                   [&] {
                       return ReadFile(box.Dir().File(name + ".err")).find("Tracing") !=
                              std::string::npos;
                   },
                   Millis(10000));
    }

    ServerSandbox box;
};

// status, show, connections, disconnect, counters, version and base-port against ports in
// every state; the JSON documents are parsed.
TEST_F(TolvanctlE2eTest, QueriesReportEveryPortAsItIs) {
    box.AddPty(1);
    box.EnablePort(1);
    box.AddPty(2);
    box.EnablePort(2);
    box.SetValue("Port2", "ServiceType", "1");
    box.SetValue("Port2", "RemoteIP", "127.0.0.1");
    box.SetValue("Port2", "RemotePort", std::to_string(box.DataPort(1)));
    box.AddPty(3);
    box.AddPty(4).LockSlave();
    box.EnablePort(4);
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));
    ASSERT_TRUE(client.Write("AT\r"));
    EXPECT_EQ(box.Pty(1).ReadBytes(3), "AT\r");
    ASSERT_TRUE(box.Pty(1).Write("OK\xff"));
    EXPECT_EQ(client.ReadBytes(4), "OK\xff\xff");

    const RunResult status = Ctl({"status", "--json"});
    ASSERT_EQ(Exit(status), 0) << status.err;
    const QJsonArray ports = Json(status)[u"ports"_s].toArray();
    ASSERT_EQ(ports.size(), 4);
    const QJsonObject com1 = ports[0].toObject();
    EXPECT_EQ(Text(com1[u"port"_s]), "COM1");
    EXPECT_EQ(Text(com1[u"device"_s]), box.Pty(1).SlavePath());
    EXPECT_TRUE(com1[u"enabled"_s].toBool());
    EXPECT_EQ(Text(com1[u"mode"_s]), "server");
    EXPECT_EQ(Text(com1[u"state"_s]), "listening");
    EXPECT_TRUE(com1[u"until"_s].isNull());
    EXPECT_EQ(com1[u"connections"_s].toInt(), 1);
    EXPECT_EQ(com1[u"bytesIn"_s].toInt(), 3);
    EXPECT_EQ(com1[u"bytesOut"_s].toInt(), 3);
    const QJsonObject com2 = ports[1].toObject();
    EXPECT_EQ(Text(com2[u"mode"_s]), "client");
    EXPECT_EQ(Text(com2[u"state"_s]), "connecting");
    EXPECT_EQ(Text(com2[u"detail"_s]), "127.0.0.1:" + std::to_string(box.DataPort(1)));
    EXPECT_EQ(Text(ports[2].toObject()[u"state"_s]), "disabled");
    const QJsonObject com4 = ports[3].toObject();
    EXPECT_EQ(Text(com4[u"state"_s]), "failed");
    EXPECT_FALSE(com4[u"enabled"_s].toBool());
    EXPECT_NE(Text(com4[u"detail"_s]).find("could not open"), std::string::npos);
    const RunResult table = Ctl({"status"});
    EXPECT_EQ(Exit(table), 0);
    EXPECT_NE(table.out.find("could not be opened"), std::string::npos) << table.out;

    const RunResult show = Ctl({"show", "com1", "--json"});
    ASSERT_EQ(Exit(show), 0) << show.err;
    const QJsonObject settings = Json(show)[u"settings"_s].toObject();
    EXPECT_EQ(settings.size(), 21);
    EXPECT_EQ(settings[u"KeepAliveTimeout"_s].toInt(), 900);  // the store's, as loaded
    EXPECT_FALSE(settings[u"Rfc2217"_s].toBool());
    EXPECT_EQ(Text(settings[u"ConnectPassword"_s]), "Mirelo");
    EXPECT_EQ(Text(settings[u"Settings"_s]), "9600,n,8,1");
    EXPECT_EQ(settings[u"MaxConnections"_s].toInt(), 3);
    EXPECT_TRUE(settings[u"Enabled"_s].toBool());
    EXPECT_EQ(settings[u"ServiceType"_s].toInt(), 0);

    const QJsonArray connections =
        Json(Ctl({"connections", "1", "--json"}))[u"connections"_s].toArray();
    ASSERT_EQ(connections.size(), 1);
    EXPECT_TRUE(connections[0].toObject()[u"loggedIn"_s].toBool());
    EXPECT_EQ(Text(connections[0].toObject()[u"remoteAddress"_s]), "127.0.0.1");
    EXPECT_EQ(Exit(Ctl({"disconnect", "COM1", "3"})), 1);
    const RunResult disconnect = Ctl({"disconnect", "COM1", "1"});
    EXPECT_EQ(Exit(disconnect), 0) << disconnect.err;
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(Json(Ctl({"connections", "COM1", "--json"}))[u"connections"_s].toArray().isEmpty());

    const QJsonObject counters =
        Json(Ctl({"counters", "COM1", "--json"}))[u"counters"_s].toObject();
    EXPECT_EQ(counters[u"bytesFromSerial"_s].toInt(), 3);
    EXPECT_EQ(counters[u"bytesToSerial"_s].toInt(), 3);
    EXPECT_EQ(counters[u"connections"_s].toInt(), 1);
    const QJsonObject reset =
        Json(Ctl({"counters", "COM1", "--reset", "--json"}))[u"counters"_s].toObject();
    for (const auto& value : reset) {
        EXPECT_EQ(value.toInt(-1), 0);
    }

    const RunResult version = Ctl({"version"});
    EXPECT_EQ(version.out, "tolvanctl 1.0.7\nTolvanServer 1.0.7 (Release Date Mar 18, 2005)\n");
    EXPECT_EQ(Ctl({"base-port"}).out, std::to_string(box.BasePort()) + "\n");
    const RunResult basePort = Ctl({"base-port", "6100"});
    EXPECT_EQ(Exit(basePort), 0);
    EXPECT_NE(basePort.out.find("restart"), std::string::npos);
    EXPECT_EQ(box.Store().RegReadValue(std::string(kServiceKey) + "\\Settings", "BaseTCPPort"),
              "6100");
}

// set changes the named settings and nothing else in the store; a bad value, an unknown name
// and a stored-only name are refused with a message, status 2 and nothing sent.
TEST_F(TolvanctlE2eTest, SetChangesOnlyTheNamedSettings) {
    box.AddPty(1);
    const std::map<std::string, std::string> initial{
        {"Settings", "19200,n,8,1"},  {"Enabled", "True"},
        {"AcceptInput", "False"},     {"MaxConnections", "5"},
        {"DTREnable", "True"},        {"RTSEnable", "True"},
        {"InBufferSize", "4096"},     {"OutBufferSize", "512"},
        {"Handshaking", "0"},         {"ConnectPassword", "Sesame"},
        {"MaxPasswordAttemps", "6"},  {"BadPasswordShutdownLength", "30"},
        {"MaxIdletime", "45"},        {"LogFile", "com1.log"},
        {"ServiceType", "0"},         {"RemoteIP", "192.0.2.1"},
        {"RemotePort", "6001"},       {"AllwaysConnected", "False"},
        {"PortDescription", "bay 3"}, {"KeepAliveTimeout", "120"},
        {"Rfc2217", "True"}};
    for (const auto& [name, value] : initial) {
        box.SetValue("Port1", name, value);
    }
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    const auto expectStore = [&](const std::map<std::string, std::string>& changed) {
        for (const auto& [name, value] : initial) {
            const auto found = changed.find(name);
            EXPECT_EQ(Stored(1, name), found != changed.end() ? found->second : value) << name;
        }
    };

    const RunResult set = Ctl(
        {"set", "COM1", "MaxConnections=2", "PortDescription=Bench | scale", "RemotePort=7001"});
    EXPECT_EQ(Exit(set), 0) << set.err;
    EXPECT_NE(set.out.find("PortDescription=Bench | scale"), std::string::npos) << set.out;
    const std::map<std::string, std::string> changed{
        {"MaxConnections", "2"}, {"PortDescription", "Bench | scale"}, {"RemotePort", "7001"}};
    expectStore(changed);

    const RunResult bad = Ctl({"set", "COM1", "MaxIdleTime=5", "MaxConnections=20"});
    EXPECT_EQ(Exit(bad), 2);
    EXPECT_NE(bad.err.find("MaxConnections '20': accepts a whole number from 1 to 15"),
              std::string::npos)
        << bad.err;
    const RunResult unknown = Ctl({"set", "COM1", "Colour=red"});
    EXPECT_EQ(Exit(unknown), 2);
    EXPECT_NE(unknown.err.find("unknown setting 'Colour'"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("MaxPasswordAttemps"), std::string::npos);
    const RunResult show = Ctl({"show", "COM1"});
    EXPECT_NE(show.out.find("\nKeepAliveTimeout=120\nRfc2217=True\n"), std::string::npos)
        << show.out;
    const RunResult storedOnly = Ctl({"set", "COM1", "KeepAliveTimeout=60"});
    EXPECT_EQ(Exit(storedOnly), 2);
    EXPECT_NE(storedOnly.err.find("edit it under Port1 in " + box.RegistryPath()),
              std::string::npos)
        << storedOnly.err;
    expectStore(changed);

    EXPECT_EQ(Exit(Ctl({"disable", "COM1"})), 0);
    EXPECT_EQ(Stored(1, "Enabled"), "False");
    EXPECT_EQ(Text(Json(Ctl({"status", "--json"}))[u"ports"_s][0].toObject()[u"state"_s]),
              "disabled");
    EXPECT_EQ(Exit(Ctl({"enable", "1"})), 0);
    EXPECT_EQ(Text(Json(Ctl({"status", "--json"}))[u"ports"_s][0].toObject()[u"state"_s]),
              "listening");
}

// Without a server: status 1 and one line saying so; usage errors: status 2.
TEST_F(TolvanctlE2eTest, NotRunningAndUsageErrors) {
    const RunResult status = Ctl({"status"});
    EXPECT_EQ(Exit(status), 1);
    EXPECT_TRUE(status.err.starts_with("tolvanctl: not running:")) << status.err;
    EXPECT_EQ(std::count(status.err.begin(), status.err.end(), '\n'), 1);
    EXPECT_EQ(Exit(Ctl({"show", "COM17"})), 2);
    EXPECT_EQ(Exit(Ctl({"status", "--hex"})), 2);
    EXPECT_EQ(Exit(Ctl({"frobnicate"})), 2);
}

// tolvanctl works beside another console that traces the same port, two tolvanctl traces
// show the traffic each in its own form until they are stopped, and the console's limits
// reach tolvanctl as clear messages.
TEST_F(TolvanctlE2eTest, WorksBesideATracingConsole) {
    box.AddPty(1);
    box.EnablePort(1);
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient console;
    ASSERT_TRUE(console.Connect(box.BasePort()));
    ASSERT_TRUE(console.Write(console::FrameMessage("DA", "0|ON|") + "\r\n"));
    ServerProcess text;
    ServerProcess hex;
    ASSERT_TRUE(StartTrace(text, "trace", {"trace", "COM1"}));
    ASSERT_TRUE(StartTrace(hex, "hex", {"trace", "COM1", "--hex"}));

    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));
    ASSERT_TRUE(client.Write("AT\r"));
    EXPECT_EQ(box.Pty(1).ReadBytes(3), "AT\r");
    ASSERT_TRUE(box.Pty(1).Write("OK\xff\x01"));
    EXPECT_EQ(client.ReadBytes(5), "OK\xff\xff\x01");
    EXPECT_NE(console.ReadUntil("OK\xff\xff\x01"), "");
    const RunResult status = Ctl({"status", "--json"});
    EXPECT_EQ(Exit(status), 0) << status.err;
    EXPECT_EQ(Json(status)[u"ports"_s][0].toObject()[u"connections"_s].toInt(), 1);

    TcpClient fourth;
    ASSERT_TRUE(fourth.Connect(box.BasePort()));
    const RunResult busy = Ctl({"status"});
    EXPECT_EQ(Exit(busy), 1);
    EXPECT_TRUE(busy.err.starts_with("tolvanctl: the console is busy: all 4")) << busy.err;
    fourth.Close();

    const auto traced = [&](const std::string& name, const std::string& line) {
        return WaitFor(
            [&] { return ReadFile(box.Dir().File(name)).find(line) != std::string::npos; },
            Millis(5000));
    };
    EXPECT_TRUE(traced("trace.out", "  from serial  OK<FF><01>\n"));
    EXPECT_TRUE(traced("hex.out", "  from serial  4F 4B FF 01\n"));
    text.Signal(SIGINT);
    hex.Signal(SIGTERM);
    EXPECT_EQ(text.WaitExit(Millis(5000))->code, 0);
    EXPECT_EQ(hex.WaitExit(Millis(5000))->code, 0);
    const std::string lines = ReadFile(box.Dir().File("trace.out"));
    EXPECT_NE(lines.find("  to serial    AT<0D>\n"), std::string::npos) << lines;
    EXPECT_TRUE(std::regex_search(lines, std::regex("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  ")));
    EXPECT_TRUE(traced("hex.out", "  to serial    41 54 0D\n"));

    // The other console's trace runs on after both tolvanctl traces switched theirs off.
    ASSERT_TRUE(box.Pty(1).Write("Z"));
    EXPECT_NE(console.ReadUntil("|1|Z\r\n").find("|1|Z\r\n"), std::string::npos);

    if (::geteuid() == 0) {
        const RunResult nobody =
            RunToEnd("/usr/bin/setpriv",
                     {"--reuid=65534", "--regid=65534", "--clear-groups", TOLVAN_CTL_BINARY,
                      "--base", std::to_string(box.BasePort()), "status"},
                     box.Environment(), box.Dir().Path().string(), Millis(20000));
        EXPECT_EQ(Exit(nobody), 1);
        EXPECT_TRUE(nobody.err.starts_with("tolvanctl: not permitted: not in the console group"))
            << nobody.err;
    }
}

}  // namespace
}  // namespace tolvan::e2e
