#include "server/console/ConsoleServer.h"

#include <exception>
#include <optional>
#include <utility>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleAccess.h"
#include "server/console/ConsoleRequests.h"
#include "server/core/ServiceSettings.h"

namespace tolvan {

namespace {

constexpr const char* kConsoleAddress = "127.0.0.1";

}  // namespace

ConsoleServer::ConsoleServer(ServerContext& ctx, DevicePathOf devicePath)
    : ctx_(ctx),
      clients_(ctx, [this](int client, const std::string& code,
                           const std::string& payload) { OnRequest(client, code, payload); }),
      reports_(ctx, clients_, std::move(devicePath)) {
    if (!ctx_.sckConsole) {
        ctx_.sckConsole = ctx_.socketFactory.Create();
    }
    SocketEvents& events = ctx_.sckConsole->events;
    events.ConnectionRequest = [this](const RequestId& request) { OnConnectionRequest(request); };
    events.DataArrival = nullptr;
    events.Connect = [] {};
    events.Close = [] {};
    // The listener stays bound whatever its errors: closing it would leave the port to
    // whoever binds it next.
    events.Error = [this](int, const std::string& description) {
        ctx_.log.LogError("Console Socket Error.... " + description);
    };
    ctx_.reports = &reports_;
}

ConsoleServer::~ConsoleServer() {
    if (ctx_.reports == &reports_) {
        ctx_.reports = &ctx_.noReports;
    }
    if (ctx_.sckConsole) {
        ctx_.sckConsole->events = SocketEvents{};
    }
}

void ConsoleServer::OnTimerTick() {
    clients_.ForgetDropped();
    try {
        if (ctx_.sckConsole->State() == kSocketListening) {
            return;
        }
        const DateTime now = ctx_.clock.NowUtc();
        if (!bindFailing_) {
            bindFailing_ = true;
            nextBind_ = now + Seconds(kBindRetrySeconds);
            return;
        }
        if (now < nextBind_) {
            return;
        }
        nextBind_ = now + Seconds(kBindRetrySeconds);
        StartConsoleListener(ctx_);
        bindFailing_ = false;
        ctx_.log.Information("Console listening on " + std::string(kConsoleAddress) + ":" +
                             Num(ctx_.settings.BaseTCPPort));
    } catch (const std::exception&) {
        // Still failing: the spell was logged when it began.
    }
}

void StartConsoleListener(ServerContext& ctx) {
    Socket& listener = *ctx.sckConsole;
    const int state = listener.State();
    if (state == kSocketListening || state == kSocketConnected) {
        return;
    }
    if (state != kSocketClosed) {
        listener.Close();
    }
    listener.SetProtocol(0);
    listener.SetLocalPort(ctx.settings.BaseTCPPort);
    listener.Bind(ctx.settings.BaseTCPPort, kConsoleAddress);
    listener.Listen();
}

void ConsoleServer::OnConnectionRequest(const RequestId& request) {
    clients_.ForgetDropped();
    std::unique_ptr<Socket> socket;
    try {
        socket = ctx_.socketFactory.Create();
        socket->Accept(request);
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S2 ") + e.what());
        return;
    }
    if (clients_.Full()) {
        ctx_.log.LogError("M1S2 console connection refused: all " +
                          Num(ConsoleClients::kMaxClients) + " console connections are in use");
        Refuse(std::move(socket), console::kRefusedFull,
               "all " + Num(ConsoleClients::kMaxClients) +
                   " console connections are in use; try again when one has ended");
        return;
    }
    const std::string group = GetServiceSetting(ctx_, "Settings", "ConsoleGroup", "tolvan");
    if (const std::optional<std::string> why = ConsoleRefusal(socket->LookUpPeer(), group)) {
        ctx_.log.LogError("M1S2 console connection refused: " + *why);
        Refuse(std::move(socket), console::kRefusedNotPermitted,
               "only root and members of group " + group + " may use the console");
        return;
    }
    clients_.Add(std::move(socket));
}

void ConsoleServer::Refuse(std::unique_ptr<Socket> socket, std::string_view reason,
                           const std::string& text) {
    try {
        // A peer that is gone already is not told.
        if (socket->State() == kSocketConnected) {
            socket->SendData(
                console::FrameMessage(console::kCodeRefused,
                                      console::JoinFields({std::string(reason), text})) +
                std::string(kCrLf));
        }
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S5 ") + e.what());
    }
    try {
        socket->Close();
    } catch (const std::exception&) {
        // Not served either way.
    }
    refused_ = std::move(socket);
}

void ConsoleServer::OnRequest(int client, const std::string& code, const std::string& payload) {
    DispatchConsoleRequest(ctx_, reports_, clients_, client, code, payload);
}

}  // namespace tolvan
