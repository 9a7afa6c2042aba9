// Console bytes from a configurator: frames are reassembled and every request is carried out
// on a server of fakes with a server-mode and a client-mode port.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "console_protocol/Frame.h"
#include "fuzz/FakeServer.h"
#include "server/bridge/PortControl.h"
#include "server/console/ConsoleReports.h"
#include "server/console/ConsoleRequests.h"

namespace {

using tolvan::fuzz::FakeServer;

const std::string& Folder() {
    static const std::string folder = tolvan::fuzz::StoreFolder();
    return folder;
}

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
    FakeServer server(Folder());
    ServerContext& ctx = server.ctx;
    ConsoleReports reports(ctx);
    ctx.reports = &reports;
    auto console = std::make_unique<FakeSocket>();
    console->state = kSocketConnected;
    FakeSocket& consoleSocket = *console;
    ctx.sckConsole = std::move(console);

    const int serverPort = server.AddPort(FakeServer::DefaultPort(1, 0, "Mirelo"));
    const int clientPort = server.AddPort(FakeServer::DefaultPort(3, 1, ""));
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
            DispatchConsoleRequest(ctx, reports, frame->code, frame->payload);
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
