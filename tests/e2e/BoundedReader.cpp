#include "tests/e2e/BoundedReader.h"

namespace tolvan::e2e {

template <class Done>
std::string BoundedReader::ReadWhileNot(Done done, Millis within) {
    const Deadline deadline(within);
    std::string got;
    while (!done(got) && !deadline.Passed()) {
        if (!ReadSome(got, deadline)) {
            break;
        }
    }
    return got;
}

std::string BoundedReader::ReadUntil(std::string_view pattern, Millis within) {
    return ReadWhileNot(
        [pattern](const std::string& got) { return got.find(pattern) != std::string::npos; },
        within);
}

std::string BoundedReader::ReadBytes(std::size_t count, Millis within) {
    return ReadWhileNot([count](const std::string& got) { return got.size() >= count; }, within);
}

std::string BoundedReader::ReadFor(Millis within) {
    return ReadWhileNot([](const std::string&) { return false; }, within);
}

std::size_t BoundedReader::Drain(std::size_t total, Millis within) {
    const Deadline deadline(within);
    std::size_t got = 0;
    std::string chunk;
    while (got < total && !deadline.Passed() && ReadSome(chunk, deadline)) {
        got += chunk.size();
        chunk.clear();
    }
    return got;
}

}  // namespace tolvan::e2e
