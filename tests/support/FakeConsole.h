#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console_protocol/Frame.h"
#include "server/console/ConsoleServer.h"
#include "tests/support/FakeServer.h"

namespace tolvan {

// The fake server with the console attached and its listener listening on 127.0.0.1:5000.
class FakeConsole : public FakeServer {
public:
    FakeConsole() {
        auto socket = std::make_unique<FakeSocket>();
        listener = socket.get();
        ctx.sckConsole = std::move(socket);
        server = std::make_unique<ConsoleServer>(
            ctx, [](int comNumber) { return "/dev/ttyT" + std::to_string(comNumber); });
        listener->Bind(5000, "127.0.0.1");
        listener->Listen();
    }

    // The console is offered a connection whose peer is `uid`; returns the socket the console
    // took it on (served or not), or null. The first one served becomes `console`.
    FakeSocket* ConnectConsole(std::optional<unsigned> uid = 0,
                               const std::string& seen = "a live socket") {
        auto incoming = std::make_shared<FakeIncoming>();
        incoming->peerUid = uid;
        incoming->peerSeen = seen;
        const std::size_t before = sockets.made.size();
        listener->FireConnectionRequest(incoming);
        if (sockets.made.size() == before) {
            return nullptr;
        }
        FakeSocket* taken = sockets.made.back();
        if (console == nullptr && taken->state == kSocketConnected) {
            console = taken;
        }
        return taken;
    }

    void Request(std::string_view code, std::string_view payload = {}) {
        Request(console, code, payload);
    }
    static void Request(FakeSocket* client, std::string_view code, std::string_view payload = {}) {
        client->FireDataArrival(console::FrameMessage(code, payload) + "\r\n");
    }

    // The frames sent to a client since the last call, or none if anything else was sent:
    // every frame must be whole and end in CR LF.
    std::vector<console::Frame> Answers() { return Answers(console); }
    static std::vector<console::Frame> Answers(FakeSocket* client) {
        const std::string sent = client->TakeSent();
        console::FrameDecoder decoder;
        decoder.Append(sent);
        std::vector<console::Frame> frames;
        std::size_t expected = 0;
        while (auto frame = decoder.Next()) {
            expected += console::FrameMessage(frame->code, frame->payload).size() + 2;
            frames.push_back(std::move(*frame));
        }
        if (expected != sent.size() || (!sent.empty() && !sent.ends_with("\r\n"))) {
            frames.push_back({"stray bytes", sent});
        }
        return frames;
    }
    static std::vector<std::string> Codes(const std::vector<console::Frame>& frames) {
        std::vector<std::string> codes;
        for (const auto& frame : frames) {
            codes.push_back(frame.code);
        }
        return codes;
    }

    FakeSocket* listener = nullptr;  // sckConsole
    FakeSocket* console = nullptr;   // the first client served
    std::unique_ptr<ConsoleServer> server;
};

}  // namespace tolvan
