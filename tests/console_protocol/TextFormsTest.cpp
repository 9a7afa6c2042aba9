#include <gtest/gtest.h>

#include <climits>
#include <clocale>

#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"

namespace tolvan::console {
namespace {

TEST(BooleanTextTest, BothSpellingsAndParsing) {
    EXPECT_EQ(BooleanText(true), "True");
    EXPECT_EQ(BooleanText(false), "False");
    EXPECT_EQ(RequestBooleanText(true), "TRUE");
    EXPECT_EQ(RequestBooleanText(false), "FALSE");

    EXPECT_EQ(ParseBooleanField("TRUE"), true);
    EXPECT_EQ(ParseBooleanField("tRuE"), true);
    EXPECT_EQ(ParseBooleanField("False"), false);
    EXPECT_EQ(ParseBooleanField("0"), false);
    EXPECT_EQ(ParseBooleanField("-1"), true);
    EXPECT_EQ(ParseBooleanField("0.0"), false);
    EXPECT_EQ(ParseBooleanField("0.4"), true);
    EXPECT_FALSE(ParseBooleanField(""));
    EXPECT_FALSE(ParseBooleanField("yes"));
    EXPECT_FALSE(ParseBooleanField("truth"));
}

TEST(NumericValueTest, AcceptsPlainDecimalOnly) {
    EXPECT_EQ(NumericValue("42"), 42.0);
    EXPECT_EQ(NumericValue(" -7 "), -7.0);
    EXPECT_EQ(NumericValue("+3"), 3.0);
    EXPECT_EQ(NumericValue("2.25"), 2.25);
    EXPECT_EQ(NumericValue(".5"), 0.5);
    EXPECT_EQ(NumericValue("5."), 5.0);
    for (const char* bad :
         {"", " ", "-", ".", "1x", "x1", "1 2", "1e3", "inf", "nan", "0x10", "1,5", "--1"}) {
        EXPECT_FALSE(NumericValue(bad)) << bad;
    }
}

// The process runs with the user's locale; a decimal comma there must not change the reading.
TEST(NumericValueTest, IgnoresProcessLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE locale not installed";
    }
    EXPECT_EQ(NumericValue("2.5"), 2.5);
    EXPECT_FALSE(NumericValue("2,5"));
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(RoundedIntegerTest, RoundsHalfToEven) {
    EXPECT_EQ(RoundedInteger("2.5", -32768, 32767), 2);
    EXPECT_EQ(RoundedInteger("3.5", -32768, 32767), 4);
    EXPECT_EQ(RoundedInteger("-2.5", -32768, 32767), -2);
    EXPECT_EQ(RoundedInteger("-3.5", -32768, 32767), -4);
    EXPECT_EQ(RoundedInteger("0.5", -32768, 32767), 0);
    EXPECT_EQ(RoundedInteger("1.5", -32768, 32767), 2);
    EXPECT_EQ(RoundedInteger("2.51", -32768, 32767), 3);
    EXPECT_EQ(RoundedInteger("-0.4", -32768, 32767), 0);
}

TEST(RoundedIntegerTest, RangeIsCheckedAfterRounding) {
    EXPECT_EQ(RoundedInteger("32767", -32768, 32767), 32767);
    EXPECT_FALSE(RoundedInteger("32768", -32768, 32767));
    EXPECT_EQ(RoundedInteger("-32768", -32768, 32767), -32768);
    EXPECT_FALSE(RoundedInteger("-32769", -32768, 32767));
    EXPECT_EQ(RoundedInteger("32767.5", -32768, 32767), std::nullopt);  // rounds to 32768
    EXPECT_EQ(RoundedInteger("32766.5", -32768, 32767), 32766);
    EXPECT_EQ(RoundedInteger("255.4", 0, 255), 255);
    EXPECT_FALSE(RoundedInteger("-1", 0, 255));
    EXPECT_EQ(RoundedInteger("-0.5", 0, 255), 0);
    EXPECT_FALSE(RoundedInteger("abc", 0, 255));
    EXPECT_FALSE(RoundedInteger("99999999999999999999999", LLONG_MIN, LLONG_MAX));
    EXPECT_EQ(RoundedInteger(std::string(400, '9'), LLONG_MIN, LLONG_MAX), std::nullopt);
    EXPECT_EQ(RoundedInteger("0." + std::string(400, '0') + "1", 0, 1), 0);
}

TEST(LeadingNumberTest, ReadsLeadingNumberOrZero) {
    EXPECT_EQ(LeadingNumber("12abc"), 12);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber(" -1"), -1);
    EXPECT_EQ(LeadingNumber("-"), 0);
    EXPECT_EQ(LeadingNumber("2.5 kB"), 2);
    EXPECT_EQ(LeadingNumber("3.5|x"), 4);
    EXPECT_EQ(LeadingNumber("7.|"), 7);
    EXPECT_EQ(LeadingNumber("-2"), -2);
    EXPECT_EQ(LeadingNumber(std::string(30, '9')), LLONG_MAX);
    EXPECT_EQ(LeadingNumber("-" + std::string(30, '9')), LLONG_MIN);
}

TEST(MessagesTest, PayloadLayouts) {
    EXPECT_EQ(VersionPayload(1, 0, 7), "1.0.7|Release Date Mar 18, 2005");
    EXPECT_EQ(TraceSwitchPayload(3, true), "3|ON|");
    EXPECT_EQ(TraceSwitchPayload(0, false), "0|OFF|");
    EXPECT_EQ(DisconnectPayload(3, 2), "3|2");
    EXPECT_EQ(TraceEventPayload(1, 2, 3, "a|b"), "1|2|3|a|b");
    EXPECT_EQ(JoinFields({}), "");
    EXPECT_EQ(JoinFields({"a", "", "b"}), "a||b");
}

}  // namespace
}  // namespace tolvan::console
