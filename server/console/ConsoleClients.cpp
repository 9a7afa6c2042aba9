#include "server/console/ConsoleClients.h"

#include <algorithm>
#include <exception>
#include <set>

#include "console_protocol/Frame.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"

namespace tolvan {

struct ConsoleClients::Client {
    Client(std::unique_ptr<Socket> s, console::FrameDecoder::BadFrameSink onBadFrame)
        : socket(std::move(s)), decoder(std::move(onBadFrame)) {}

    std::unique_ptr<Socket> socket;
    console::FrameDecoder decoder;
    std::set<int> traced;  // port indexes
};

ConsoleClients::ConsoleClients(ServerContext& ctx, RequestHandler onRequest)
    : ctx_(ctx), onRequest_(std::move(onRequest)) {}

ConsoleClients::~ConsoleClients() = default;

int ConsoleClients::Count() const {
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [](const auto& c) { return c != nullptr; }));
}

bool ConsoleClients::Connected(int client) const {
    return client >= 0 && client < kMaxClients && clients_[static_cast<std::size_t>(client)];
}

std::optional<int> ConsoleClients::Add(std::unique_ptr<Socket> socket) {
    const auto free = std::find(clients_.begin(), clients_.end(), nullptr);
    if (free == clients_.end()) {
        return std::nullopt;
    }
    auto client = std::make_unique<Client>(
        std::move(socket), [this](const std::string& text) { ctx_.log.LogError("M1S3 " + text); });
    // Handlers find their client by its address: a slot may serve someone else by then.
    Client* self = client.get();
    const auto slotOf = [this, self] {
        for (int i = 0; i < kMaxClients; ++i) {
            if (clients_[static_cast<std::size_t>(i)].get() == self) {
                return i;
            }
        }
        return -1;
    };
    SocketEvents& events = self->socket->events;
    events.ConnectionRequest = nullptr;
    events.DataArrival = [this, slotOf](std::size_t) { OnDataArrival(slotOf()); };
    events.Connect = [] {};
    events.Close = [this, slotOf] { Drop(slotOf(), {}); };
    events.Error = [this, slotOf](int, const std::string& description) {
        Drop(slotOf(), "Console Socket Error.... " + description);
    };
    *free = std::move(client);
    return static_cast<int>(free - clients_.begin());
}

void ConsoleClients::OnDataArrival(int client) {
    if (!Connected(client)) {
        return;
    }
    Client* self = clients_[static_cast<std::size_t>(client)].get();
    std::string data;
    try {
        data = self->socket->GetData();
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("F1S2 ") + e.what());
        return;
    }
    try {
        self->decoder.Append(data);
        // A request may end this very client (a send that overflows it, for example).
        while (clients_[static_cast<std::size_t>(client)].get() == self) {
            std::optional<console::Frame> frame = self->decoder.Next();
            if (!frame) {
                break;
            }
            onRequest_(client, frame->code, frame->payload);
        }
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S3 ") + e.what());
    }
}

void ConsoleClients::Drop(int client, const std::string& why) {
    if (!Connected(client)) {
        return;
    }
    std::unique_ptr<Client> gone = std::move(clients_[static_cast<std::size_t>(client)]);
    if (!why.empty()) {
        ctx_.log.LogError(why);
    }
    try {
        gone->socket->Close();
    } catch (const std::exception&) {
        // Closing a connection that is gone already changes nothing.
    }
    for (int portIndex : gone->traced) {
        UpdateTraceOn(portIndex);
    }
    dropped_.push_back(std::move(gone));
}

void ConsoleClients::ForgetDropped() {
    dropped_.clear();
}

void ConsoleClients::Send(int client, std::string_view frame) {
    std::string message;
    message.reserve(frame.size() + kCrLf.size());
    message.append(frame).append(kCrLf);
    if (client != kEveryClient) {
        SendTo(client, message);
        return;
    }
    for (int i = 0; i < kMaxClients; ++i) {
        SendTo(i, message);
    }
}

void ConsoleClients::SendToTracers(int portIndex, std::string_view frame) {
    std::string message;
    for (int i = 0; i < kMaxClients; ++i) {
        const Client* c = clients_[static_cast<std::size_t>(i)].get();
        if (c != nullptr && c->traced.count(portIndex) != 0) {
            if (message.empty()) {
                message.append(frame).append(kCrLf);
            }
            SendTo(i, message);
        }
    }
}

void ConsoleClients::SendTo(int client, std::string_view message) {
    if (!Connected(client)) {
        return;
    }
    try {
        Socket& socket = *clients_[static_cast<std::size_t>(client)]->socket;
        if (socket.State() != kSocketConnected) {
            return;
        }
        socket.SendData(message);
        const std::size_t queued = socket.BytesQueued();
        if (queued > kMaxBytesQueued) {
            Drop(client, "M1S5 Console client " + Num(client) + " is not reading (" + Num(queued) +
                             " bytes waiting); closing it.");
        }
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S5 ") + e.what());
    }
}

void ConsoleClients::SetTrace(int client, int portIndex, bool on) {
    if (!Connected(client)) {
        return;
    }
    std::set<int>& traced = clients_[static_cast<std::size_t>(client)]->traced;
    if (on) {
        traced.insert(portIndex);
    } else {
        traced.erase(portIndex);
    }
    UpdateTraceOn(portIndex);
}

void ConsoleClients::UpdateTraceOn(int portIndex) {
    if (!HasPort(ctx_, portIndex)) {
        return;
    }
    PortAt(ctx_, portIndex).TraceOn =
        std::any_of(clients_.begin(), clients_.end(),
                    [portIndex](const auto& c) { return c && c->traced.count(portIndex) != 0; });
}

}  // namespace tolvan
