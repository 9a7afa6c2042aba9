#include "tests/e2e/SessionSteps.h"

#include <utility>

namespace tolvan::e2e {

::testing::AssertionResult StartAndWaitFor(ServerSandbox& box, const std::vector<int>& coms,
                                           EnvChanges env) {
    if (!box.Start({"-debug"}, std::move(env))) {
        return ::testing::AssertionFailure() << "the server did not start";
    }
    if (!box.WaitUntilReady()) {
        return ::testing::AssertionFailure() << "the server did not get ready\n" << box.Stderr();
    }
    for (const int com : coms) {
        if (!WaitFor([&] { return IsListening(box.DataPort(com)); }, Millis(5000))) {
            return ::testing::AssertionFailure() << "COM" << com << " does not listen\n"
                                                 << box.Stderr();
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LogIn(TcpClient& client, int port, const std::string& password,
                                 const std::string& from) {
    if (!client.Connect(port, Millis(3000), from)) {
        return ::testing::AssertionFailure() << "no connection to " << port;
    }
    const std::string prompt = client.ReadUntil("Password:");
    if (prompt != "\r\nPassword:") {
        return ::testing::AssertionFailure() << "prompt was '" << prompt << "'";
    }
    if (!client.Write(password + "\r")) {
        return ::testing::AssertionFailure() << "the password could not be sent";
    }
    const std::string welcome = client.ReadUntil("Connected....\r\n");
    if (welcome.find("Connected....\r\n") == std::string::npos) {
        return ::testing::AssertionFailure() << "welcome was '" << welcome << "'";
    }
    return ::testing::AssertionSuccess();
}

bool TurnedAway(int port, const std::string& from) {
    TcpClient client;
    if (!client.Connect(port, Millis(1000), from)) {
        return true;
    }
    return client.WaitClosed(Millis(1500)) && client.Leftover().empty();
}

std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

}  // namespace tolvan::e2e
