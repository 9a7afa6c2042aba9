#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvan::console {

// Text without its leading and trailing blanks (spaces and tabs).
std::string_view Trimmed(std::string_view text);
std::string Trim(std::string_view text);

// ASCII letter case only: the bytes of stored and received texts are not in any one encoding.
char Lower(char c);
char Upper(char c);
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Booleans as reports and stored settings spell them: "True" / "False".
std::string BooleanText(bool value);
// Booleans as the configurator's requests spell them: "TRUE" / "FALSE".
std::string RequestBooleanText(bool value);

// "True" or "False" in any letter case, or a number (0 is false, any other number true).
// Surrounding blanks are ignored. Anything else is not a Boolean.
std::optional<bool> ParseBooleanField(std::string_view text);

// The value of a decimal text: optional blanks, optional sign, digits with an optional
// fraction (".5" and "5." count), optional blanks. Independent of the process locale.
std::optional<double> NumericValue(std::string_view text);

// A decimal whole number (optional blanks, optional sign, digits, optional blanks) within
// min..max; fractions are not whole numbers here, unlike RoundedInteger.
std::optional<long long> WholeNumber(std::string_view text, long long min, long long max);

// Rounds half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2), as the numeric conversions of the
// console always did.
double RoundHalfEven(double value);

// NumericValue rounded half to even; nothing when the text is not a number or the result lies
// outside min..max.
std::optional<long long> RoundedInteger(std::string_view text, long long min, long long max);

// The configurator's lenient reading: the leading number of the text (optional blanks, sign,
// digits, optional fraction), rounded half to even; text without one counts as 0. Values beyond
// the range of long long are clamped.
long long LeadingNumber(std::string_view text);

}  // namespace tolvan::console
