#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/bridge/Socket.h"

namespace tolvan {

struct ServerContext;

// A report for every console client rather than one.
inline constexpr int kEveryClient = -1;

// The console connections being served, at most kMaxClients at once. Each client has its own
// receive buffer and its own trace subscriptions; a port's TraceOn is set while any client
// traces it. Clients are numbered by their slot, 0 to kMaxClients - 1.
class ConsoleClients {
public:
    static constexpr int kMaxClients = 4;
    // A client that leaves this much unread (a stalled trace reader) is dropped, so that it
    // cannot grow the server's memory without bound.
    static constexpr std::size_t kMaxBytesQueued = 4UL * 1024 * 1024;

    // Called once per complete frame a client sent, in order.
    using RequestHandler =
        std::function<void(int client, const std::string& code, const std::string& payload)>;

    ConsoleClients(ServerContext& ctx, RequestHandler onRequest);
    ~ConsoleClients();

    ConsoleClients(const ConsoleClients&) = delete;
    ConsoleClients& operator=(const ConsoleClients&) = delete;

    bool Full() const { return Count() == kMaxClients; }
    int Count() const;
    bool Connected(int client) const;

    // Serves a connection that passed the console's checks; nothing when every slot is taken.
    // Data that came with the connection is read from the event loop, as any later data.
    std::optional<int> Add(std::unique_ptr<Socket> socket);

    // Writes a framed message and CR LF to the client, or to every client with kEveryClient.
    // A client that is not connected (any more) is skipped.
    void Send(int client, std::string_view frame);
    // To the clients that trace the port.
    void SendToTracers(int portIndex, std::string_view frame);

    // Switches the client's trace of the port; the port's TraceOn follows all clients.
    void SetTrace(int client, int portIndex, bool on);

    // Frees what dropped clients left behind; not while one of their events may still run.
    void ForgetDropped();

private:
    struct Client;

    void OnDataArrival(int client);
    // Ends a client's connection and its trace subscriptions; why is logged unless empty.
    void Drop(int client, const std::string& why);
    void UpdateTraceOn(int portIndex);
    void SendTo(int client, std::string_view message);

    ServerContext& ctx_;
    RequestHandler onRequest_;
    std::array<std::unique_ptr<Client>, kMaxClients> clients_;
    // Dropped inside one of their own events: kept until that event has ended.
    std::vector<std::unique_ptr<Client>> dropped_;
};

}  // namespace tolvan
