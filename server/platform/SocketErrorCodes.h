#pragma once

#include <QAbstractSocket>

namespace tolvan {

// The numbers that socket errors carry in reports and events (10048 address in use, 10061
// refused, ...); console peers and stored traces already know them, so they stay stable.
int SocketErrorNumber(QAbstractSocket::SocketError error);

inline constexpr int kSocketWrongState = 40006;          // operation not valid in the current state
inline constexpr int kSocketBadRequest = 40020;          // Accept with an unknown or used request
inline constexpr int kSocketErrorInvalidArgument = 380;  // a property value out of range

}  // namespace tolvan
