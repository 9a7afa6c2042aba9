#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvan::bench {

// A deterministic byte stream with a prime period, so a lost, repeated or shifted block of
// any power-of-two size shows as a mismatch. Two periods are held: any piece of at most one
// period starting anywhere in the stream is one contiguous run of them.
class Pattern {
public:
    // withIac: the stream contains byte 255 (serial to network); else it never does.
    explicit Pattern(bool withIac);

    static constexpr std::size_t kPeriod = 65521;

    // Valid for at most kPeriod bytes; Piece() is the bounded form.
    const char* At(std::uint64_t position) const { return bytes_.data() + position % kPeriod; }
    // The stream from position on, up to size bytes but never more than one period (a longer
    // read would run past the held bytes).
    std::string_view Piece(std::uint64_t position, std::size_t size) const {
        return {At(position), std::min(size, kPeriod)};
    }
    unsigned char ByteAt(std::uint64_t position) const {
        return static_cast<unsigned char>(*At(position));
    }

private:
    std::string bytes_;
};

// Checks a received stream against a Pattern. Optionally skips a lead-in of sync bytes up to
// a start byte, and undoes the doubling of byte 255 a telnet-style bridge applies.
class StreamVerifier {
public:
    static constexpr char kSync = 'S';
    static constexpr char kStart = 'G';

    StreamVerifier(const Pattern& pattern, std::uint64_t expected, bool leadIn, bool doubledIac);

    // False once the stream differs from the pattern or runs past its end.
    bool Feed(const char* data, std::size_t size);
    bool Done() const { return ok_ && started_ && position_ == expected_; }
    bool Ok() const { return ok_; }
    bool Started() const { return started_; }
    bool SeenAnything() const { return seenAnything_; }
    std::uint64_t Position() const { return position_; }
    const std::string& Error() const { return error_; }

private:
    bool Compare(const char* data, std::size_t size);
    void Fail(const std::string& why);

    const Pattern& pattern_;
    std::uint64_t expected_;
    bool doubledIac_;
    bool started_;
    bool seenAnything_ = false;
    bool pendingIac_ = false;
    bool ok_ = true;
    std::uint64_t position_ = 0;
    std::string error_;
};

}  // namespace tolvan::bench
