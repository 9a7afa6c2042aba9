#include "configurator/TraceFormat.h"

namespace tolvan {

std::string TraceLabel(int kind) {
    switch (kind) {
        case 0:
            return "Serial Out -> ";
        case 1:
            return "Serial In -> ";
        case 2:
            return "Serial Event -> ";
        case 3:
            return "Socket Event -> ";
        default:
            return {};
    }
}

bool TraceKindShown(int kind, const TraceFilters& filters) {
    switch (kind) {
        case 0:
        case 1:
            return filters.serialData;
        case 2:
            return filters.serialEvents;
        case 3:
            return filters.socketEvents;
        default:
            return true;
    }
}

std::string EscapeTraceText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 32 || code >= 127) {
            out += '<';
            out += kHex[code >> 4];
            out += kHex[code & 0x0F];
            out += '>';
        } else {
            out += ch;
        }
    }
    return out;
}

std::string UndoubleIac(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (static_cast<unsigned char>(text[i]) == 255 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 255) {
            ++i;
        }
    }
    return out;
}

std::string FormatTraceLine(std::string_view comNumber, int kind, std::string_view text,
                            bool withPortPrefix) {
    std::string line;
    if (withPortPrefix) {
        line += '(';
        line += comNumber;
        line += ") ";
    }
    line += TraceLabel(kind);
    // Serial data reaches the trace as sent to the clients, byte 255 doubled; the operator
    // sees what the line carried.
    line += EscapeTraceText(kind == 1 ? UndoubleIac(text) : std::string(text));
    return line;
}

QString CutTraceText(const QString& text) {
    if (text.size() > kTraceMaxLength) {
        return text.right(kTraceKeepLength);
    }
    return text;
}

QString TraceTimeStamp(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}  // namespace tolvan
