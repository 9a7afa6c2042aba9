#include <gtest/gtest.h>

#include <string>

#include "configurator/TraceFormat.h"

namespace tolvan {
namespace {

using namespace std::string_literals;

// Control characters and the upper half become <HH>; printable ASCII stays as it is.
TEST(TraceFormat, EscapesEveryByteOutsidePrintableAscii) {
    EXPECT_EQ(EscapeTraceText("AT\r\n"), "AT<0D><0A>");
    EXPECT_EQ(EscapeTraceText("\xC8"), "<C8>");
    EXPECT_EQ(EscapeTraceText(" ~"), " ~");
    EXPECT_EQ(EscapeTraceText("\x7F\xFF\x1F"), "<7F><FF><1F>");
    EXPECT_EQ(EscapeTraceText("a\0b"s), "a<00>b");
    EXPECT_EQ(EscapeTraceText("\xAB|"), "<AB>|");
}

// The label follows the kind; unknown kinds have none and always pass the filters.
TEST(TraceFormat, LabelsAndFiltersByKind) {
    EXPECT_EQ(TraceLabel(0), "Serial Out -> ");
    EXPECT_EQ(TraceLabel(1), "Serial In -> ");
    EXPECT_EQ(TraceLabel(2), "Serial Event -> ");
    EXPECT_EQ(TraceLabel(3), "Socket Event -> ");
    EXPECT_EQ(TraceLabel(7), "");
    EXPECT_EQ(TraceLabel(-1), "");

    const TraceFilters none{false, false, false};
    EXPECT_FALSE(TraceKindShown(0, none));
    EXPECT_FALSE(TraceKindShown(1, none));
    EXPECT_FALSE(TraceKindShown(2, none));
    EXPECT_FALSE(TraceKindShown(3, none));
    EXPECT_TRUE(TraceKindShown(7, none));

    const TraceFilters dataOnly{true, false, false};
    EXPECT_TRUE(TraceKindShown(0, dataOnly));
    EXPECT_TRUE(TraceKindShown(1, dataOnly));
    EXPECT_FALSE(TraceKindShown(2, dataOnly));
    EXPECT_FALSE(TraceKindShown(3, dataOnly));

    EXPECT_TRUE(TraceKindShown(2, TraceFilters{false, true, false}));
    EXPECT_TRUE(TraceKindShown(3, TraceFilters{false, false, true}));
}

TEST(TraceFormat, LineCarriesPrefixOnlyWhenAsked) {
    EXPECT_EQ(FormatTraceLine("3", 1, "OK\r\n", false), "Serial In -> OK<0D><0A>");
    EXPECT_EQ(FormatTraceLine("3", 1, "OK\r\n", true), "(3) Serial In -> OK<0D><0A>");
    EXPECT_EQ(FormatTraceLine("12", 9, "x", true), "(12) x");
}

// Beyond 8000 characters exactly the last 7000 remain; at 8000 nothing is cut.
TEST(TraceFormat, CutKeepsExactlyTheLastSevenThousand) {
    QString atLimit(8000, QLatin1Char('a'));
    EXPECT_EQ(CutTraceText(atLimit), atLimit);

    QString over = QString(1001, QLatin1Char('x')) + QString(7000, QLatin1Char('y'));
    ASSERT_EQ(over.size(), 8001);
    const QString cut = CutTraceText(over);
    EXPECT_EQ(cut, QString(7000, QLatin1Char('y')));
}

}  // namespace
}  // namespace tolvan
