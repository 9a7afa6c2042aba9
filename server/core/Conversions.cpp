#include "server/core/Conversions.h"

#include <charconv>

#include "settings_store/RegistryDocument.h"

namespace tolvan {

std::string Trim(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::optional<bool> ParseBoolean(std::string_view text) {
    std::string trimmed = Trim(text);
    if (EqualsNoCase(trimmed, "True"))
        return true;
    if (EqualsNoCase(trimmed, "False"))
        return false;
    std::optional<long long> number = ParseInteger(trimmed);
    if (!number)
        return std::nullopt;
    return *number != 0;
}

std::optional<long long> ParseInteger(std::string_view text) {
    std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-')
            return std::nullopt;
    }
    long long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

std::optional<long long> ParseInteger(std::string_view text, long long low, long long high) {
    std::optional<long long> value = ParseInteger(text);
    if (!value || *value < low || *value > high)
        return std::nullopt;
    return value;
}

const char* BooleanText(bool value) {
    return value ? "True" : "False";
}

}  // namespace tolvan
