// Console bytes from a configurator: frames are reassembled and every request is carried out
// on a server of fakes with a server-mode and a client-mode port.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "console_protocol/Frame.h"
#include "server/console/ConsoleClients.h"
#include "server/console/ConsoleReports.h"
#include "server/console/ConsoleRequests.h"
#include "tests/support/FakeServer.h"

namespace {

using tolvan::FakeServer;

// What the server sent must be whole frames, each followed by CR LF, and nothing else.
void CheckReports(const std::string& sent) {
    tolvan::console::FrameDecoder decoder;
    decoder.Append(sent);
    std::size_t framed = 0;
    while (auto frame = decoder.Next()) {
        framed += tolvan::console::FrameMessage(frame->code, frame->payload).size() + 2;
    }
    FakeServer::Require(framed == sent.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace tolvan;
    FakeServer server;
    ServerContext& ctx = server.ctx;
    ConsoleClients clients(ctx, [](int, const std::string&, const std::string&) {});
    ConsoleReports reports(
        ctx, clients, [](int comNumber) { return "/dev/ttyS" + std::to_string(comNumber - 1); });
    ctx.reports = &reports;
    auto console = std::make_unique<FakeSocket>();
    console->state = kSocketConnected;
    FakeSocket& consoleSocket = *console;
    const int client = clients.Add(std::move(console)).value_or(0);

    const int serverPort = server.AddPort(1);
    const int clientPort = server.AddPort(3, 1);
    server.Port(clientPort).ConnectPassword.clear();
    ApplyPortSettings(ctx, serverPort);
    ApplyPortSettings(ctx, clientPort);
    server.Sock(serverPort, 0).FireConnectionRequest();
    server.Sock(serverPort, 0).FireConnectionRequest();

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Arrivals of varying size, so frames are split at every kind of place.
    const std::size_t chunk = 1 + size % 13;
    console::FrameDecoder decoder;
    std::string sent;
    for (std::size_t at = 0; at < size; at += chunk) {
        decoder.Append(input.substr(at, chunk));
        while (auto frame = decoder.Next()) {
            FakeServer::Require(frame->code.size() == 2);
            FakeServer::Require(frame->payload.size() <= console::kMaxPayload);
            DispatchConsoleRequest(ctx, reports, clients, client, frame->code, frame->payload);
            server.CheckPorts();
        }
        // A waiting frame is at most one header and one payload long.
        FakeServer::Require(decoder.Buffered().size() <=
                            4 + console::kMaxLengthDigits + console::kMaxPayload);
        sent += consoleSocket.TakeSent();
    }
    CheckReports(sent);
    return 0;
}
