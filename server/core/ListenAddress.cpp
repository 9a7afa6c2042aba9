#include "server/core/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>

namespace tolvan {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsLocalhost(std::string_view text) {
    constexpr std::string_view kName = "localhost";
    return std::equal(text.begin(), text.end(), kName.begin(), kName.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

}  // namespace

std::optional<std::string> NormalListenAddress(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) {
        return std::string();
    }
    if (IsLocalhost(text)) {
        return std::string("127.0.0.1");
    }
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    // inet_pton needs a terminated string; anything this long is no address.
    if (text.size() >= INET6_ADDRSTRLEN) {
        return std::nullopt;
    }
    const std::string literal(text);
    char normal[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (::inet_pton(AF_INET, literal.c_str(), &v4) == 1) {
        ::inet_ntop(AF_INET, &v4, normal, sizeof normal);
        return std::string(normal);
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, literal.c_str(), &v6) == 1) {
        ::inet_ntop(AF_INET6, &v6, normal, sizeof normal);
        return std::string(normal);
    }
    return std::nullopt;
}

std::string ListenEndpoints(const std::string& address, int port) {
    const std::string number = std::to_string(port);
    if (address.empty()) {
        return "0.0.0.0:" + number + " and [::]:" + number;
    }
    if (address.find(':') != std::string::npos) {
        return "[" + address + "]:" + number;
    }
    return address + ":" + number;
}

}  // namespace tolvan
