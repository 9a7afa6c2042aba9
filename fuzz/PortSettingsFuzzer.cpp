// Port settings as a store file may hold them after hand edits: every value is loaded with a
// sound result, the port can be started with it, and a saved port loads back unchanged.
//
// Input: up to twenty LF-separated texts, one per stored value in load order; an empty line
// leaves the value out of the store.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>

#include "server/core/PortSettings.h"
#include "settings_store/RegistryDocument.h"
#include "tests/support/FakeServer.h"

namespace {

using tolvan::FakeServer;

constexpr const char* kNames[] = {
    "Settings",    "Enabled",          "AcceptInput",        "MaxConnections",
    "DTREnable",   "RTSEnable",        "InBufferSize",       "OutBufferSize",
    "Handshaking", "ConnectPassword",  "MaxPasswordAttemps", "BadPasswordShutdownLength",
    "MaxIdleTime", "LogFile",          "ServiceType",        "RemoteIP",
    "RemotePort",  "AllwaysConnected", "PortDescription",    "KeepAliveTimeout",
    "Rfc2217",
};

void WriteStore(const std::string& path, std::string_view input) {
    tolvan::RegistryDocument document;
    const std::string key = std::string(tolvan::kServiceKey) + "\\Port4";
    std::size_t start = 0;
    for (const char* name : kNames) {
        if (start > input.size()) {
            break;
        }
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        if (end > start) {
            document.Set(key, name,
                         {tolvan::REG_SZ, std::string(input.substr(start, end - start))});
        }
        start = end + 1;
    }
    std::ofstream(path, std::ios::binary) << document.Serialize();
}

// The stored fields of a record, for comparing two loads.
auto Stored(const tolvan::PortRecord& p) {
    return std::tie(p.Settings, p.Enabled, p.AcceptInput, p.MaxConnections, p.DTREnable,
                    p.RTSEnable, p.InBufferSize, p.OutBufferSize, p.Handshaking, p.ConnectPassword,
                    p.MaxPasswordAttemps, p.BadPasswordShutdownLength, p.MaxIdleTime, p.LogFile,
                    p.ServiceType, p.RemoteIP, p.RemotePort, p.AllwaysConnected, p.PortDescription,
                    p.KeepAliveTimeout, p.Rfc2217);
}

tolvan::PortRecord Load(FakeServer& server) {
    server.ctx.ports.assign(1, {});
    server.ctx.ports[0].PortNumber = 4;
    tolvan::LoadPortSettings(server.ctx, 0);
    return server.ctx.ports[0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace tolvan;
    FakeServer server;
    WriteStore(server.storePath, std::string_view(reinterpret_cast<const char*>(data), size));

    const PortRecord loaded = Load(server);
    FakeServer::Require(loaded.MaxConnections <= kMaxSlotsPerPort);
    FakeServer::Require(loaded.Handshaking >= 0 && loaded.Handshaking <= 255);
    FakeServer::Require(loaded.ServiceType >= 0 && loaded.ServiceType <= 255);
    FakeServer::Require(loaded.PortNumber == 4);

    // Saving normalises (trims, "1" for any client mode); after that the store is stable.
    SavePortSettings(server.ctx, 0);
    const PortRecord saved = Load(server);
    SavePortSettings(server.ctx, 0);
    const PortRecord again = Load(server);
    FakeServer::Require(Stored(saved) == Stored(again));

    // Started the way start-up starts a port; the log file is never written without data.
    FakeServer started;
    PortRecord port = loaded;
    port.Connections.clear();
    const int p = started.AddPort(port);
    ApplyPortSettings(started.ctx, p);
    started.CheckPorts();
    return 0;
}
