#include "server/core/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "console_protocol/TextForms.h"

namespace tolvan {

std::optional<std::string> NormalListenAddress(std::string_view text) {
    text = console::Trimmed(text);
    if (text.empty()) {
        return std::string();
    }
    if (console::EqualsIgnoringCase(text, "localhost")) {
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
