#pragma once

#include <string_view>

namespace tolvan {

// Writes every byte to a blocking descriptor, retrying after signals; false when the descriptor
// refused part of it (errno tells why).
bool WriteAll(int fd, std::string_view bytes);

}  // namespace tolvan
