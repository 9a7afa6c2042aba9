// Data connections of one port fed by a hostile peer: telnet commands anywhere, passwords
// split over chunks, serial data at the same time, connections coming and going.
//
// Input: one settings byte, then records. A record's first byte h says what happens:
// h >> 6 = 0 or 1: h & 63 bytes arrive on data connection 1 or 2; 2: h & 63 bytes arrive
// from the serial line; 3: an event, (h & 63) % 6 = a connection request on the listener,
// the peer of connection 1 closes, a timer tick a minute later, an error on connection 2,
// the modem lines become h & 0xF0, a framing error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/bridge/ClientMode.h"
#include "server/bridge/Connections.h"
#include "server/bridge/LoginGuard.h"
#include "server/bridge/PasswordGate.h"
#include "server/bridge/SocketToSerial.h"
#include "server/bridge/SupervisionTimer.h"
#include "server/bridge/TelnetParser.h"
#include "tests/support/FakeServer.h"

namespace {

using tolvan::FakeServer;

// Settings byte: bit 0 no password, bit 1 client mode, bits 2-3 password attempts - 1,
// bit 4 input refused, bit 5 a single connection, bit 6 line control by clients (RFC 2217).
tolvan::PortRecord PortFrom(unsigned char settings) {
    const int serviceType = (settings & 2) != 0 ? 1 : 0;
    tolvan::PortRecord port = tolvan::DefaultPortRecord(2, serviceType, serviceType == 0 ? 3 : 1);
    if ((settings & 1) != 0) {
        port.ConnectPassword.clear();
    }
    port.MaxPasswordAttemps = static_cast<int16_t>(1 + ((settings >> 2) & 3));
    port.AcceptInput = (settings & 16) == 0;
    if (serviceType == 0 && (settings & 32) != 0) {
        port.MaxConnections = 1;
    }
    port.Rfc2217 = (settings & 64) != 0;
    port.MaxIdleTime = 1;
    port.KeepAliveTimeout = 30;
    return port;
}

void Arrive(FakeServer& server, int p, int connNo, std::string_view bytes) {
    if (server.HasSock(p, connNo)) {
        server.Sock(p, connNo).FireDataArrival(bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace tolvan;
    if (size == 0) {
        return 0;
    }
    FakeServer server;
    ServerContext& ctx = server.ctx;
    const int p = server.AddPort(PortFrom(data[0]));
    ApplyPortSettings(ctx, p);
    const bool clientMode = ctx.ports[0].ServiceType != 0;
    if (clientMode) {
        ConnectClient(ctx, p);
        server.Sock(p, 1).FireConnect();
    } else {
        server.Sock(p, 0).FireConnectionRequest();
    }

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t fromSockets = 0;
    std::size_t at = 1;
    while (at < size) {
        const unsigned char h = static_cast<unsigned char>(input[at++]);
        const std::string_view bytes = input.substr(at, h & 63);
        switch (h >> 6) {
            case 0:
            case 1:
                at += bytes.size();
                fromSockets += bytes.size();
                Arrive(server, p, 1 + (h >> 6), bytes);
                break;
            case 2:
                at += bytes.size();
                server.Device(p).Receive(bytes);
                break;
            default:
                switch ((h & 63) % 6) {
                    case 0:
                        if (!clientMode) {
                            server.Sock(p, 0).FireConnectionRequest();
                        }
                        break;
                    case 1:
                        server.Sock(p, 1).FirePeerClose();
                        break;
                    case 2:
                        server.clock.AdvanceMinutes(1);
                        OnTimerTick(ctx);
                        break;
                    case 3:
                        if (server.HasSock(p, 2)) {
                            server.Sock(p, 2).FireError(10054, "connection reset by peer");
                        }
                        break;
                    case 4:
                        server.Device(p).SetModem(h & 0xF0);
                        break;
                    default:
                        server.Device(p).Fire(kCommEventFrame);
                        break;
                }
                break;
        }
        server.CheckPorts();
        const PortRecord& port = ctx.ports[0];
        for (int c = 1; c <= port.UpperSlot(); ++c) {
            // A password, a subnegotiation or held data that never ends must not pile up.
            const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(c)];
            FakeServer::Require(slot.PasswordBuffer.size() <= kLongestPasswordLine);
            FakeServer::Require(slot.Telnet.Sub.size() <= kLongestSubnegotiation);
            FakeServer::Require(slot.ComPort.Held.size() < ctx.settings.Output.Hard);
        }
        // Telnet commands and doubled 255s only ever shrink what reaches the device.
        FakeServer::Require(server.Device(p).written.size() <= fromSockets);
    }
    return 0;
}
