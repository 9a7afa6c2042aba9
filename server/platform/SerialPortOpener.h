#pragma once

#include <string>

namespace tolvan {

// Opens a serial device node for exclusive, non-blocking use and tells an absent port
// (SerialError kSerialInvalidPort) from one that exists but cannot be used (kSerialPortOpen,
// with the system's text). Absent: the path does not exist, is not a terminal, or is a
// ttyS port whose UART type is unknown.
class SerialPortOpener {
public:
    // Returns the open descriptor, locked with flock and TIOCEXCL.
    static int Open(const std::string& path);
};

}  // namespace tolvan
