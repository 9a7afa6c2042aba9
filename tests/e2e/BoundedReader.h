#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tests/e2e/Deadline.h"

namespace tolvan::e2e {

// The bounded read loops of a byte stream of the harness (a TCP client, a pseudo-terminal).
class BoundedReader {
public:
    virtual ~BoundedReader() = default;

    // Reads until `pattern` has arrived, the stream ended or the time is up.
    std::string ReadUntil(std::string_view pattern, Millis within = Millis(3000));
    // Reads until `count` bytes have arrived, the stream ended or the time is up.
    std::string ReadBytes(std::size_t count, Millis within = Millis(3000));
    // Everything that arrives within the given time.
    std::string ReadFor(Millis within);
    // Reads and forgets up to `total` bytes until the stream ended or the time is up; returns
    // how many arrived.
    std::size_t Drain(std::size_t total, Millis within);

protected:
    // Appends what is there, waiting at most until the deadline; false on end of file or error.
    virtual bool ReadSome(std::string& into, const Deadline& deadline) = 0;

private:
    template <class Done>
    std::string ReadWhileNot(Done done, Millis within);
};

}  // namespace tolvan::e2e
