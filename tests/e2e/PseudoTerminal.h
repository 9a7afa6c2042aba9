#pragma once

#include <termios.h>

#include <string>
#include <string_view>

#include "tests/e2e/BoundedReader.h"

namespace tolvan::e2e {

// A pseudo-terminal standing in for a serial device: the server opens SlavePath(), the test
// plays the device on the master side.
class PseudoTerminal : public BoundedReader {
public:
    PseudoTerminal();
    ~PseudoTerminal() override;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // Sends bytes as the device would; false when they could not all be written in time.
    bool Write(std::string_view data, Millis within = Millis(2000));

    // The line settings the server put on the device, while the harness's slave handle is open.
    termios Attributes() const;

    // Takes the exclusive lock a serial program takes, so the server finds the port busy.
    bool LockSlave();
    // Closes the harness's own slave handle, so the master sees a hang-up once the server
    // closes the port too.
    void CloseSlave();
    // Closes the master: the device is gone for the server.
    void CloseMaster();

private:
    bool ReadSome(std::string& into, const Deadline& deadline) override;

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tolvan::e2e
