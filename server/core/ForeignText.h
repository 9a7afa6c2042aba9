#pragma once

#include <string>
#include <string_view>

namespace tolvan {

// The most characters of foreign text an event carries before it is cut.
inline constexpr std::size_t kForeignTextLimit = 200;

// Bytes that came from the network, the serial line, the console or the store, made fit for
// an event: every byte outside 0x20-0x7E becomes "<HH>" (upper-case hex), and text longer than
// kForeignTextLimit characters is cut there (never inside a "<HH>") and ends in "...". Such bytes
// must not reach the journal or a terminal raw: escape sequences and NULs would act there.
std::string EscapeForeignText(std::string_view bytes);

}  // namespace tolvan
