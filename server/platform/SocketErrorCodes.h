#pragma once

#include <QAbstractSocket>

namespace tolvan {

// Error numbers in the Winsock range for Qt's socket errors, so operators and callers see
// the numbers they know (10048 address in use, 10061 refused, ...).
int SocketErrorNumber(QAbstractSocket::SocketError error);

inline constexpr int kSocketWrongState = 40006;          // operation not valid in the current state
inline constexpr int kSocketBadRequest = 40020;          // Accept with an unknown or used request
inline constexpr int kSocketErrorInvalidArgument = 380;  // a property value out of range

}  // namespace tolvan
