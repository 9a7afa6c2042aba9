#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace tolvan {

// The console carries single-byte text; Latin-1 maps each byte to one character and back.
inline QString FromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace tolvan
