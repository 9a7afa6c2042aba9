#include "configurator/ReportText.h"

#include <QDate>
#include <QRegularExpression>
#include <ctime>

#include "configurator/ByteText.h"

namespace tolvan {
namespace {

QString Iso(const QDate& date, const QTime* time) {
    QString text = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (time != nullptr) {
        text += QLatin1Char(' ') + time->toString(QStringLiteral("HH:mm:ss"));
    }
    return text;
}

// strptime in the process locale; the whole text must be taken.
bool ParseWith(const std::string& text, const char* format, std::tm& parts) {
    parts = std::tm{};
    const char* end = ::strptime(text.c_str(), format, &parts);
    return end != nullptr && *end == '\0';
}

int FullYear(int year) {
    // Two-digit years as strptime's %y reads them.
    if (year < 100) {
        return year < 69 ? 2000 + year : 1900 + year;
    }
    return year;
}

// Numeric forms of other locales than this program's: month/day/year with an optional
// 12-hour clock, day.month.year, and ISO.
QString FromNumericForms(const QString& text) {
    static const QRegularExpression us(
        QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})(?:,? "
                       "+(\\d{1,2}):(\\d{2}):(\\d{2})(?: *([AaPp])[Mm])?)?$"));
    static const QRegularExpression dotted(QStringLiteral(
        "^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{2}|\\d{4})(?:,? +(\\d{1,2}):(\\d{2}):(\\d{2}))?$"));
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2}):(\\d{2}))?$"));
    int year = 0;
    int month = 0;
    int day = 0;
    QRegularExpressionMatch match;
    if ((match = us.match(text)).hasMatch()) {
        month = match.captured(1).toInt();
        day = match.captured(2).toInt();
        year = FullYear(match.captured(3).toInt());
    } else if ((match = dotted.match(text)).hasMatch()) {
        day = match.captured(1).toInt();
        month = match.captured(2).toInt();
        year = FullYear(match.captured(3).toInt());
    } else if ((match = iso.match(text)).hasMatch()) {
        year = match.captured(1).toInt();
        month = match.captured(2).toInt();
        day = match.captured(3).toInt();
    } else {
        return {};
    }
    const QDate date(year, month, day);
    if (!date.isValid()) {
        return {};
    }
    if (!match.hasCaptured(4)) {
        return Iso(date, nullptr);
    }
    int hour = match.captured(4).toInt();
    const QString half = match.captured(7).toUpper();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12) {
            return {};
        }
        hour = (hour % 12) + (half == QStringLiteral("P") ? 12 : 0);
    }
    const QTime time(hour, match.captured(5).toInt(), match.captured(6).toInt());
    return time.isValid() ? Iso(date, &time) : QString();
}

}  // namespace

QString IsoDateTime(const std::string& reportText) {
    QString text = FromBytes(reportText).trimmed();
    if (text.isEmpty()) {
        return text;
    }
    const std::string trimmed = ToBytes(text);
    std::tm parts{};
    const bool withTime = ParseWith(trimmed, "%x %X", parts);
    if (withTime || ParseWith(trimmed, "%x", parts)) {
        const QDate date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
        const QTime time(parts.tm_hour, parts.tm_min, parts.tm_sec);
        if (date.isValid() && time.isValid()) {
            return Iso(date, withTime ? &time : nullptr);
        }
    }
    const QString numeric = FromNumericForms(text);
    return numeric.isEmpty() ? text : numeric;
}

PortState PortStateFrom(const std::vector<std::string>& fields) {
    const auto field = [&fields](std::size_t i) {
        return i < fields.size() ? FromBytes(fields[i]).trimmed() : QString();
    };
    return {field(1).toLower(), field(2), field(3)};
}

QString PortStateSentence(const PortState& state) {
    const QString detail =
        state.detail.isEmpty() ? QString() : QStringLiteral(" (") + state.detail + u')';
    if (state.state == QStringLiteral("listening")) {
        return QStringLiteral("Listening for clients") + detail;
    }
    if (state.state == QStringLiteral("locked-out")) {
        const QString until = state.until.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" until ") + IsoDateTime(ToBytes(state.until));
        return QStringLiteral("Locked out after bad passwords") + until;
    }
    if (state.state == QStringLiteral("connecting")) {
        return QStringLiteral("Connecting") +
               (state.detail.isEmpty() ? QString() : QStringLiteral(" to ") + state.detail);
    }
    if (state.state == QStringLiteral("connected")) {
        return QStringLiteral("Connected") +
               (state.detail.isEmpty() ? QString() : QStringLiteral(" to ") + state.detail);
    }
    if (state.state == QStringLiteral("disabled")) {
        return QStringLiteral("Disabled");
    }
    if (state.state == QStringLiteral("failed")) {
        return QStringLiteral("Could not be opened") +
               (state.detail.isEmpty() ? QString() : QStringLiteral(": ") + state.detail);
    }
    return state.state + detail;
}

QString PortStateWord(const PortState& state) {
    if (state.state == QStringLiteral("locked-out")) {
        return QStringLiteral("locked out");
    }
    if (state.state == QStringLiteral("failed")) {
        return QStringLiteral("could not open");
    }
    return state.state;
}

}  // namespace tolvan
