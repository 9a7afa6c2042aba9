#pragma once

#include <termios.h>

#include <string>

namespace tolvan {

// A parsed line-settings text such as "9600,n,8,1".
struct LineSettings {
    speed_t Speed = B9600;
    char Parity = 'n';         // n, e, o, m (mark) or s (space)
    int DataBits = 8;          // 5..8
    bool TwoStopBits = false;  // 2 or 1.5 stop bits: the UART uses 1.5 with 5 data bits
};

// Parses "baud,parity,databits,stopbits"; throws SerialError(kSerialBadSettings) on any
// malformed part or on a rate the terminal driver has no constant for.
LineSettings ParseLineSettings(const std::string& text);

// Puts a raw 8-bit-clean line with the given settings and handshaking (0 none, 1 XON/XOFF,
// 2 RTS/CTS, 3 both) into tio; the receiver is enabled and modem status lines are ignored.
void ApplyLineSettings(termios& tio, const LineSettings& settings, int handshaking);

}  // namespace tolvan
