#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    EXPECT_EQ(TraceLabel(3), "Socket Event -> ");
    EXPECT_EQ(TraceLabel(7), "");
    const TraceFilters dataOnly{true, false, false};
    const std::vector<bool> shown{TraceKindShown(0, dataOnly), TraceKindShown(1, dataOnly),
                                  TraceKindShown(2, dataOnly), TraceKindShown(3, dataOnly),
                                  TraceKindShown(7, TraceFilters{false, false, false})};
    EXPECT_EQ(shown, (std::vector<bool>{true, true, false, false, true}));
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
