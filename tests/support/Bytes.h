#pragma once

#include <initializer_list>
#include <string>

namespace tolvan {

// A byte string from numeric codes, for protocol bytes that read badly as escapes.
inline std::string Bytes(std::initializer_list<int> codes) {
    std::string out;
    for (int code : codes) {
        out.push_back(static_cast<char>(code));
    }
    return out;
}

}  // namespace tolvan
