#include "server/console/ConsoleServer.h"

#include <exception>
#include <optional>

#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleAccess.h"
#include "server/console/ConsoleRequests.h"
#include "server/core/ServiceSettings.h"

namespace tolvan {

namespace {

constexpr const char* kConsoleAddress = "127.0.0.1";

}  // namespace

ConsoleServer::ConsoleServer(ServerContext& ctx)
    : ctx_(ctx), reports_(ctx), decoder_([this](const std::string& description) {
          ctx_.log.LogError("M1S3 " + description);
      }) {
    if (!ctx_.sckConsole) {
        ctx_.sckConsole = ctx_.socketFactory.Create();
    }
    SocketEvents& events = ctx_.sckConsole->events;
    events.ConnectionRequest = [this](RequestId request) { OnConnectionRequest(request); };
    events.DataArrival = [this](std::size_t) { OnDataArrival(); };
    events.Connect = [] {};
    events.Close = [this] { RestartConsoleListener(); };
    events.Error = [this](int, const std::string& description) { OnError(description); };
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

void ConsoleServer::RestartConsoleListener() {
    // Nobody watches the trace any more, whatever happens to the listener.
    for (PortRecord& port : ctx_.ports) {
        port.TraceOn = false;
    }
    try {
        Socket& console = *ctx_.sckConsole;
        console.Close();
        // Bound again so the console stays reachable from this machine only.
        console.SetLocalPort(ctx_.settings.BaseTCPPort);
        console.Bind(ctx_.settings.BaseTCPPort, kConsoleAddress);
        console.Listen();
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S1 ") + e.what());
    }
}

void ConsoleServer::OnConnectionRequest(const RequestId& request) {
    try {
        Socket& console = *ctx_.sckConsole;
        console.Close();
        // Leftovers of an earlier connection must not run into this one's requests.
        decoder_.Clear();
        console.Accept(request);
        const std::optional<unsigned> uid = console.PeerUid();
        if (!uid || !ConsoleAccessAllowed(
                        *uid, GetServiceSetting(ctx_, "Settings", "ConsoleGroup", "tolvan"))) {
            ctx_.log.LogError("M1S2 console connection refused for user id " +
                              (uid ? std::to_string(*uid) : std::string("unknown")));
            RestartConsoleListener();
        }
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S2 ") + e.what());
        // Without this the console would stay unreachable until the service restarts.
        RestartConsoleListener();
    }
}

void ConsoleServer::OnDataArrival() {
    std::string data;
    try {
        data = ctx_.sckConsole->GetData();
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("F1S2 ") + e.what());
        return;
    }
    try {
        decoder_.Append(data);
        while (std::optional<console::Frame> frame = decoder_.Next()) {
            DispatchConsoleRequest(ctx_, reports_, frame->code, frame->payload);
        }
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S3 ") + e.what());
    }
}

void ConsoleServer::OnError(const std::string& description) {
    ctx_.log.LogError("Console Socket Error.... " + description);
    RestartConsoleListener();
}

}  // namespace tolvan
