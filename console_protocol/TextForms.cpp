#include "console_protocol/TextForms.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tolvan::console {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the number at the start of text (sign, digits, optional fraction); 0 when the text
// does not start with one.
std::size_t NumberLength(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        std::size_t fraction = 0;
        std::size_t j = i + 1;
        while (j < text.size() && IsDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    return digits > 0 ? i : 0;
}

// The value of a text that NumberLength accepted whole. from_chars ignores the locale but does
// not take a "+" sign.
double ValueOf(std::string_view number) {
    bool negative = false;
    if (number.front() == '+' || number.front() == '-') {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too many digits either way: a large whole part overflows, a long fraction underflows.
        const std::string_view whole = number.substr(0, number.find('.'));
        const bool large = whole.find_first_not_of('0') != std::string_view::npos;
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

// A whole double as long long; nothing when it does not fit (converting it would be undefined).
std::optional<long long> ToInteger(double whole) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63, exactly representable
    if (!(whole >= -kLimit && whole < kLimit)) {
        return std::nullopt;
    }
    return static_cast<long long>(whole);
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Trim(std::string_view text) {
    return std::string(Trimmed(text));
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string ToLower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = Lower(c);
    }
    return result;
}

std::string ToUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = Upper(c);
    }
    return result;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string BooleanText(bool value) {
    return value ? "True" : "False";
}

std::string RequestBooleanText(bool value) {
    return value ? "TRUE" : "FALSE";
}

std::optional<bool> ParseBooleanField(std::string_view text) {
    const std::string_view trimmed = Trimmed(text);
    if (EqualsIgnoringCase(trimmed, "true")) {
        return true;
    }
    if (EqualsIgnoringCase(trimmed, "false")) {
        return false;
    }
    if (const std::optional<double> value = NumericValue(trimmed)) {
        return *value != 0;
    }
    return std::nullopt;
}

std::optional<double> NumericValue(std::string_view text) {
    const std::string_view trimmed = Trimmed(text);
    const std::size_t length = NumberLength(trimmed);
    if (length == 0 || length != trimmed.size()) {
        return std::nullopt;
    }
    return ValueOf(trimmed);
}

std::optional<long long> WholeNumber(std::string_view text, long long min, long long max) {
    std::string_view digits = Trimmed(text);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') {
            return std::nullopt;
        }
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5) {
        return lower;
    }
    if (fraction > 0.5) {
        return lower + 1;
    }
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<long long> RoundedInteger(std::string_view text, long long min, long long max) {
    const std::optional<double> value = NumericValue(text);
    if (!value) {
        return std::nullopt;
    }
    const std::optional<long long> rounded = ToInteger(RoundHalfEven(*value));
    if (!rounded || *rounded < min || *rounded > max) {
        return std::nullopt;
    }
    return rounded;
}

long long LeadingNumber(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    const std::size_t length = NumberLength(text);
    if (length == 0) {
        return 0;
    }
    const double rounded = RoundHalfEven(ValueOf(text.substr(0, length)));
    if (const std::optional<long long> value = ToInteger(rounded)) {
        return *value;
    }
    return rounded > 0 ? std::numeric_limits<long long>::max()
                       : std::numeric_limits<long long>::min();
}

}  // namespace tolvan::console
