#include "configurator/ChoiceLists.h"

#include <algorithm>
#include <cctype>

#include "console_protocol/TextForms.h"

namespace tolvan::choice {
namespace {

constexpr int kLockOutItems = 13;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

QStringList Texts(const std::vector<std::string>& values) {
    QStringList items;
    for (const std::string& value : values) {
        items << QString::fromStdString(value);
    }
    return items;
}

QStringList Numbers(int first, int last) {
    QStringList items;
    for (int i = first; i <= last; ++i) {
        items << QString::number(i);
    }
    return items;
}

}  // namespace

QStringList BooleanItems() {
    return {QStringLiteral("False"), QStringLiteral("True")};
}

QStringList PortUseItems() {
    return {QStringLiteral("Server"), QStringLiteral("Client")};
}

QStringList ConnectionItems() {
    return Numbers(0, 10);
}

QStringList MaxIdleTimeItems() {
    return {
        QStringLiteral("No Timeout"), QStringLiteral("10 Minutes"), QStringLiteral("20 Minutes"),
        QStringLiteral("30 Minutes"), QStringLiteral("60 Minutes"), QStringLiteral("90 Minutes"),
        QStringLiteral("2 Hours"),    QStringLiteral("4 Hours"),    QStringLiteral("8 Hours"),
        QStringLiteral("16 Hours"),   QStringLiteral("32 Hours")};
}

QStringList BufferItems() {
    return Texts(BufferValues());
}

QStringList DataSettingsItems() {
    return {QStringLiteral("n,8,1"), QStringLiteral("e,7,1")};
}

QStringList BaudItems() {
    return Texts(BaudValues());
}

QStringList HandshakeItems() {
    return {QStringLiteral("None"), QStringLiteral("Xon/Xoff"), QStringLiteral("RTS/CTS"),
            QStringLiteral("Both")};
}

QStringList AttemptItems() {
    return QStringList{QStringLiteral("No Limit")} + Numbers(1, 10);
}

QStringList LockOutItems() {
    QStringList items{QStringLiteral("No Lockout")};
    for (int i = 1; i < kLockOutItems; ++i) {
        items << QString::number(10 * i) + QStringLiteral(" Minutes");
    }
    return items;
}

const std::vector<std::string>& BufferValues() {
    static const std::vector<std::string> values{"512", "1024", "2048", "4096"};
    return values;
}

const std::vector<std::string>& BaudValues() {
    static const std::vector<std::string> values{"300", "1200", "2400", "4800", "9600", "19200"};
    return values;
}

const std::vector<std::string>& MaxIdleTimeValues() {
    static const std::vector<std::string> values{"0",   "10",  "20",  "30",  "60",  "90",
                                                 "120", "240", "480", "960", "1920"};
    return values;
}

int BooleanIndex(const std::string& field) {
    return Upper(field) == "TRUE" ? 1 : 0;
}

int NumberIndex(const std::string& field, int count, int fallback) {
    const long long v = console::LeadingNumber(field);
    return (v >= 0 && v < count) ? static_cast<int>(v) : fallback;
}

int TextIndex(const std::string& field, const std::vector<std::string>& values, int fallback) {
    const std::string upper = Upper(field);
    const auto found = std::find(values.begin(), values.end(), upper);
    return found == values.end() ? fallback : static_cast<int>(found - values.begin());
}

int LockOutIndex(const std::string& field) {
    const long long v = console::LeadingNumber(field);
    if (v < 0 || v > 120) {
        return 0;
    }
    return static_cast<int>(console::RoundHalfEven(static_cast<double>(v) / 10.0));
}

int DataSettingsIndex(const std::string& field) {
    return Upper(field) == "E,7,1" ? 1 : 0;
}

int PortUseIndex(const std::string& field) {
    return Upper(field) == "SERVER" ? 0 : 1;
}

std::string BooleanValue(int index) {
    return index > 0 ? "TRUE" : "FALSE";
}

std::string ValueAt(const std::vector<std::string>& values, int index, const std::string& none) {
    if (index < 0 || index >= static_cast<int>(values.size())) {
        return none;
    }
    return values[static_cast<std::size_t>(index)];
}

std::string PositionValue(int index) {
    return std::to_string(std::max(index, 0));
}

std::string LockOutValue(int index) {
    return std::to_string(10 * std::max(index, 0));
}

}  // namespace tolvan::choice
