#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvan {

// Text conversions of stored and received settings.

// Without leading and trailing spaces.
std::string Trim(std::string_view text);

// "True"/"False" in any letter case, or a whole number (0 is False, any other True);
// surrounding spaces are ignored.
std::optional<bool> ParseBoolean(std::string_view text);

// Decimal whole number with an optional sign; surrounding spaces are ignored.
std::optional<long long> ParseInteger(std::string_view text);

// ParseInteger limited to [low, high].
std::optional<long long> ParseInteger(std::string_view text, long long low, long long high);

// "True" or "False".
const char* BooleanText(bool value);

}  // namespace tolvan
