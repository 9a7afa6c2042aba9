#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <string_view>

namespace tolvan {

// txtTrace is cut back to its last kTraceKeepLength characters once it grows beyond
// kTraceMaxLength, so a long session never slows the window down.
inline constexpr qsizetype kTraceMaxLength = 8000;
inline constexpr qsizetype kTraceKeepLength = 7000;

// Which trace filters are ticked.
struct TraceFilters {
    bool serialData = true;
    bool serialEvents = true;
    bool socketEvents = true;
};

// The label of a trace event kind: "Serial Out -> ", "Serial In -> ", "Serial Event -> ",
// "Socket Event -> ", and nothing for any other kind.
std::string TraceLabel(int kind);

// Whether an event of this kind passes the filters. Unknown kinds are always shown.
bool TraceKindShown(int kind, const TraceFilters& filters);

// One byte per character: 0..31 and 127..255 become "<HH>" (upper-case hex), the rest stays.
// The result never holds a line break of its own.
std::string EscapeTraceText(std::string_view text);

// Each pair of bytes 255 as one: the telnet doubling of the data sent to clients undone.
std::string UndoubleIac(std::string_view text);

// The trace line without timestamp or line break: "(" + COM + ") " when prefixed, the label,
// then the escaped text (serial data with its doubled 255s undone).
std::string FormatTraceLine(std::string_view comNumber, int kind, std::string_view text,
                            bool withPortPrefix);

// The text cut back to its last kTraceKeepLength characters when longer than kTraceMaxLength;
// otherwise unchanged.
QString CutTraceText(const QString& text);

// The date and time put in front of a line when a time stamp is asked for, to the millisecond.
QString TraceTimeStamp(const QDateTime& when);

}  // namespace tolvan
