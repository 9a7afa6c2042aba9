#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/ServerProcess.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {

// The steps most end-to-end cases begin with.

// Starts the server with -debug and waits for the console and for the listeners of `coms`.
::testing::AssertionResult StartAndWaitFor(ServerSandbox& box, const std::vector<int>& coms,
                                           EnvChanges env = {});

// Connects to port from the loopback address `from` and logs in with the password: the
// prompt must be exactly "\r\nPassword:".
::testing::AssertionResult LogIn(TcpClient& client, int port,
                                 const std::string& password = "Mirelo",
                                 const std::string& from = "127.0.0.1");

// True when a connect to port from `from` is refused, or is closed at once without a word.
bool TurnedAway(int port, const std::string& from = "127.0.0.1");

// Every byte value once, in order.
std::string AllBytes();

}  // namespace tolvan::e2e
