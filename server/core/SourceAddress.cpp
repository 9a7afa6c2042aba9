#include "server/core/SourceAddress.h"

#include <arpa/inet.h>

#include <array>
#include <cstring>

namespace tolvan {

namespace {

constexpr std::size_t kLongestUnknown = 64;

}  // namespace

std::string SourceAddressKey(std::string_view peer) {
    // A link-local peer carries its interface ("fe80::1%eth0"); the network is the same.
    const std::string text(peer.substr(0, peer.find('%')));
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        std::array<char, INET_ADDRSTRLEN> out{};
        return inet_ntop(AF_INET, &v4, out.data(), out.size());
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) {
        return std::string(peer.substr(0, kLongestUnknown));
    }
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);
        std::array<char, INET_ADDRSTRLEN> out{};
        return inet_ntop(AF_INET, &v4, out.data(), out.size());
    }
    std::memset(&v6.s6_addr[8], 0, 8);
    std::array<char, INET6_ADDRSTRLEN> out{};
    return std::string(inet_ntop(AF_INET6, &v6, out.data(), out.size())) + "/64";
}

}  // namespace tolvan
