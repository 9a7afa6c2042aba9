#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvan {

// The ListenAddress setting in the form the listeners bind to: empty for every address (IPv4
// and IPv6), "127.0.0.1" for "localhost" (any letter case), an IPv4 or IPv6 literal in its
// normal form ("::1", not "0:0:0:0:0:0:0:1"; brackets allowed). nullopt when the text is none
// of these; surrounding blanks are not part of it.
std::optional<std::string> NormalListenAddress(std::string_view text);

// Where a listener on `address` (normal form) and TCP port `port` takes connections, for the
// log: "0.0.0.0:5001 and [::]:5001", "127.0.0.1:5001", "[::1]:5001".
std::string ListenEndpoints(const std::string& address, int port);

}  // namespace tolvan
