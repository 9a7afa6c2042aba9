#include "server/core/ForeignText.h"

#include <algorithm>

namespace tolvan {

std::string EscapeForeignText(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(std::min(bytes.size(), kForeignTextLimit) + 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte >= 0x20 && byte <= 0x7E;
        if (out.size() + (plain ? 1 : 4) > kForeignTextLimit) {
            out += "...";
            break;
        }
        if (plain) {
            out += c;
        } else {
            out += '<';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
            out += '>';
        }
    }
    return out;
}

}  // namespace tolvan
