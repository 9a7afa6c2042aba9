#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvan {

// Letters and digits an operator cannot mistake for one another when reading them out
// (no 0/O/o, 1/I/l); no blank, quote, backslash or "|", so it survives every file and field.
inline constexpr std::string_view kPasswordAlphabet =
    "23456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz";
inline constexpr std::size_t kGeneratedPasswordLength = 12;

// A password of kGeneratedPasswordLength characters of kPasswordAlphabet drawn uniformly from
// the kernel's random source. Throws std::runtime_error when it cannot be read.
std::string GeneratePassword();

}  // namespace tolvan
