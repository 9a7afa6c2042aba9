#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/bridge/Socket.h"

namespace tolvan {

// A pending connection handed to ConnectionRequest by a test, from the given peer address and
// with the owner of its far end.
class FakeIncoming final : public IncomingConnection {
public:
    explicit FakeIncoming(std::string from = "127.0.0.1") : remoteIP(std::move(from)) {}
    std::string remoteIP;
    std::optional<unsigned> peerUid = 0;  // root, unless a test says otherwise
    std::string peerSeen = "a live socket";
};

// A socket that keeps what was done to it (state, where it listens or connects, how often it
// was bound, listened, accepted, connected and closed), collects sent bytes in `sent`, serves
// `input` to GetData and lets the test fire its events. A call named in `failing` throws.
class FakeSocket final : public Socket {
public:
    int State() const override {
        Check("State");
        return state;
    }
    void SetLocalPort(int port) override {
        Check("LocalPort");
        localPort = port;
    }
    void SetProtocol(int /*protocol*/) override { Check("Protocol"); }
    std::string RemoteHostIP() const override { return remoteIP; }
    void Bind(int port, const std::string& address) override {
        ++binds;
        Check("Bind");
        localPort = port;
        localAddress = address;
    }
    void Listen() override {
        ++listens;
        Check("Listen");
        state = kSocketListening;
    }
    void Accept(const RequestId& request) override {
        ++accepts;
        Check("Accept");
        accepted = request;
        if (const auto* incoming = dynamic_cast<const FakeIncoming*>(request.get())) {
            remoteIP = incoming->remoteIP;
            peerUid = incoming->peerUid;
            peerSeen = incoming->peerSeen;
        }
        state = kSocketConnected;
    }
    void Connect(const std::string& host, int port) override {
        ++connects;
        Check("Connect");
        connectedTo = host + ":" + std::to_string(port);
        state = kSocketConnecting;
    }
    // Like the real socket, sending needs a connection.
    void SendData(std::string_view data) override {
        Check("SendData");
        if (state != kSocketConnected) {
            throw SocketError(40006, "socket is not connected");
        }
        sent.append(data);
        ++sendCount;
    }
    std::string GetData() override {
        Check("GetData");
        return std::exchange(input, {});
    }
    void Close() override {
        ++closes;
        Check("Close");
        state = kSocketClosed;
    }
    void Abort() override {
        ++aborts;
        Check("Abort");
        state = kSocketClosed;
    }
    std::size_t BytesQueued() const override { return bytesQueued; }
    PeerOwner LookUpPeer() const override { return {peerUid, peerSeen}; }

    // Events, as the event loop would deliver them.
    void FireConnectionRequest(RequestId request = std::make_shared<FakeIncoming>()) {
        if (events.ConnectionRequest) {
            events.ConnectionRequest(std::move(request));
        }
    }
    void FireDataArrival(std::string_view data) {
        input.append(data);
        if (events.DataArrival) {
            events.DataArrival(input.size());
        }
    }
    void FireConnect() {
        state = kSocketConnected;
        if (events.Connect) {
            events.Connect();
        }
    }
    void FirePeerClose() {
        state = kSocketClosing;
        if (events.Close) {
            events.Close();
        }
    }
    void FireError(int number, const std::string& description) {
        state = kSocketError;
        if (events.Error) {
            events.Error(number, description);
        }
    }

    // Returns and forgets what was sent so far.
    std::string TakeSent() { return std::exchange(sent, {}); }

    int state = kSocketClosed;
    int localPort = 0;
    std::string localAddress;  // set by Bind only
    std::string connectedTo;   // "host:port" of the last Connect
    int binds = 0;             // attempts, failed ones too
    int listens = 0;
    int accepts = 0;
    int connects = 0;
    int closes = 0;
    int aborts = 0;  // closes that dropped unsent data
    std::string remoteIP = "127.0.0.1";
    std::string sent;
    int sendCount = 0;
    std::string input;
    std::size_t bytesQueued = 0;
    std::optional<unsigned> peerUid = 0;  // root, unless a test says otherwise
    std::string peerSeen = "a live socket";
    RequestId accepted;
    // Names of calls that throw SocketError (for example "Listen", "SendData", "State").
    std::set<std::string> failing;

private:
    void Check(const std::string& name) const {
        if (failing.count(name) != 0) {
            throw SocketError(10048, name + " failed");
        }
    }
};

// Makes FakeSockets; `made` in creation order, `At(index)` for the elements of a control
// array whose wiring hook was passed to Track. Pointers dangle once an element is destroyed.
class FakeSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<Socket> Create() override {
        if (failCreates > 0) {
            --failCreates;
            throw SocketError(7, "out of memory");
        }
        auto socket = std::make_unique<FakeSocket>();
        made.push_back(socket.get());
        return socket;
    }

    // Wraps a wiring hook so that every element created through it is remembered by index.
    void Track(std::function<void(int, Socket&)>& hook) {
        hook = [this, inner = hook](int index, Socket& socket) {
            byIndex[index] = static_cast<FakeSocket*>(&socket);
            if (inner) {
                inner(index, socket);
            }
        };
    }
    FakeSocket& At(int index) const { return *byIndex.at(index); }

    std::vector<FakeSocket*> made;
    std::map<int, FakeSocket*> byIndex;
    int failCreates = 0;  // the next n Create calls throw
};

}  // namespace tolvan
