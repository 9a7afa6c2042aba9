#pragma once

#include <string>
#include <string_view>

namespace tolvan {

// The source a login rule counts against, from a peer address in text form: an IPv4 address
// as it is, an IPv4-mapped IPv6 address as its IPv4 address, any other IPv6 address as its /64
// network ("2001:db8:0:7::/64"), because one host can use every address of its /64. Text that
// is no address (which the socket layer never gives) is kept, cut to 64 characters.
std::string SourceAddressKey(std::string_view peer);

}  // namespace tolvan
