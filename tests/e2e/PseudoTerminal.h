#pragma once

#include <string>
#include <string_view>

#include "tests/e2e/Deadline.h"

namespace tolvan::e2e {

// A pseudo-terminal standing in for a serial device: the server opens SlavePath(), the test
// plays the device on the master side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // Sends bytes as the device would; false when they could not all be written in time.
    bool Write(std::string_view data, Millis within = Millis(2000));
    // Reads until `pattern` has arrived or the time is up; answers what was read.
    std::string ReadUntil(std::string_view pattern, Millis within = Millis(3000));
    // Reads until `count` bytes have arrived or the time is up.
    std::string ReadBytes(std::size_t count, Millis within = Millis(3000));
    // Everything that arrives within the given time.
    std::string ReadFor(Millis within);

    // Takes the exclusive lock a serial program takes, so the server finds the port busy.
    bool LockSlave();
    // Closes the harness's own slave handle, so the master sees a hang-up once the server
    // closes the port too.
    void CloseSlave();
    // Closes the master: the device is gone for the server.
    void CloseMaster();

private:
    // Reads what is there, waiting at most the time left; false on end of file or error.
    bool ReadSome(std::string& into, const Deadline& deadline);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tolvan::e2e
