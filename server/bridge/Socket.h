#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvan {

// Socket states the callers compare with; others are the implementation's own.
enum SocketState : int {
    kSocketClosed = 0,
    kSocketOpen = 1,
    kSocketListening = 2,
    kSocketConnecting = 6,
    kSocketConnected = 7,
    kSocketClosing = 8,
    kSocketError = 9,
};

inline constexpr int kSocketErrorAlreadyExists = 360;  // creating an existing element
inline constexpr int kSocketErrorNoElement = 340;      // addressing a missing element

class SocketError : public std::runtime_error {
public:
    SocketError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }

private:
    int number_;
};

// Who owns the far end of a connection made from this machine.
struct PeerOwner {
    // Set only when the peer is a live socket: open in a process (it has an inode) and
    // established, or half-closed by its owner.
    std::optional<unsigned> uid;
    std::string seen;  // what the lookup found, for the log
};

// A pending connection offered by a listener; dropping it unaccepted refuses the peer.
class IncomingConnection {
public:
    virtual ~IncomingConnection() = default;
};
using RequestId = std::shared_ptr<IncomingConnection>;

struct SocketEvents {
    std::function<void(RequestId)> ConnectionRequest;
    std::function<void(std::size_t bytesTotal)> DataArrival;
    std::function<void()> Connect;
    std::function<void()> Close;  // the peer closed
    std::function<void(int number, const std::string& description)> Error;
};

// An event-driven TCP socket. Events are delivered from the event loop, one at a time,
// never from inside one of the calls below. Failures of calls throw SocketError.
class Socket {
public:
    virtual ~Socket() = default;

    virtual int State() const = 0;
    virtual void SetLocalPort(int port) = 0;
    virtual void SetProtocol(int protocol) = 0;  // 0 = TCP, the only one used
    // Peer address in dotted form (an IPv4-mapped peer as plain IPv4).
    virtual std::string RemoteHostIP() const = 0;
    virtual void Bind(int port, const std::string& address) = 0;
    virtual void Listen() = 0;
    virtual void Accept(const RequestId& request) = 0;
    virtual void Connect(const std::string& host, int port) = 0;
    virtual void SendData(std::string_view data) = 0;
    virtual std::string GetData() = 0;
    virtual void Close() = 0;  // also on a closed socket; unsent data still goes out
    // Closes at once, dropping what the peer has not taken yet.
    virtual void Abort() { Close(); }
    // Bytes handed to SendData that the peer has not taken yet.
    virtual std::size_t BytesQueued() const = 0;
    // The owner of the far end of a connection made from this machine.
    virtual PeerOwner LookUpPeer() const { return {std::nullopt, "no peer lookup on this socket"}; }

    SocketEvents events;
};

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    virtual std::unique_ptr<Socket> Create() = 0;
};

}  // namespace tolvan
