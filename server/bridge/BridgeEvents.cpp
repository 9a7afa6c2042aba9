#include "server/bridge/BridgeEvents.h"

#include <utility>

#include "server/bridge/Connections.h"
#include "server/bridge/PasswordGate.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/SocketToSerial.h"

namespace tolvan {

void WireBridgeEvents(ServerContext& ctx) {
    ctx.WireSerial = [&ctx](int index, SerialDevice& device) {
        if (index == kProbeIndex) {
            return;
        }
        device.SetOnComm([&ctx, index](int commEvent) { OnComm(ctx, index, commEvent); });
    };
    ctx.WireSocket = [&ctx](int index, Socket& socket) {
        if (index == kProbeIndex) {
            return;
        }
        SocketEvents& events = socket.events;
        events.ConnectionRequest = [&ctx, index](RequestId request) {
            if (ConnNoOf(index) == 0) {
                AcceptConnection(ctx, index, std::move(request));
            }
        };
        events.DataArrival = [&ctx, index](std::size_t) {
            if (ConnNoOf(index) != 0) {
                ReceiveSocketData(ctx, index);
            }
        };
        events.Connect = [&ctx, index] { ConnectionEstablished(ctx, index); };
        events.Close = [&ctx, index] { OnConnectionClosed(ctx, index); };
        events.Error = [&ctx, index](int number, const std::string& description) {
            OnSocketError(ctx, index, number, description);
        };
    };
}

}  // namespace tolvan
