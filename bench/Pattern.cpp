#include "bench/Pattern.h"

#include <algorithm>
#include <cstring>

namespace tolvan::bench {

namespace {

constexpr unsigned char kIac = 255;

}  // namespace

Pattern::Pattern(bool withIac) {
    bytes_.resize(2 * kPeriod);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        const std::size_t k = i % kPeriod;
        const unsigned value = static_cast<unsigned>((k * 131U + (k >> 7U) * 7U) & 0xFFU);
        bytes_[i] = static_cast<char>(withIac ? value : value % 255U);
    }
}

StreamVerifier::StreamVerifier(const Pattern& pattern, std::uint64_t expected, bool leadIn,
                               bool doubledIac)
    : pattern_(pattern), expected_(expected), doubledIac_(doubledIac), started_(!leadIn) {}

bool StreamVerifier::Feed(const char* data, std::size_t size) {
    if (size > 0) {
        seenAnything_ = true;
    }
    while (ok_ && size > 0) {
        if (!started_) {
            const void* start = std::memchr(data, kStart, size);
            if (start == nullptr) {
                return ok_;
            }
            const auto skip = static_cast<std::size_t>(static_cast<const char*>(start) - data) + 1;
            data += skip;
            size -= skip;
            started_ = true;
            continue;
        }
        if (pendingIac_) {
            if (static_cast<unsigned char>(*data) != kIac) {
                Fail("undoubled byte 255");
                break;
            }
            pendingIac_ = false;
            if (!Compare(data, 1)) {
                break;
            }
            ++data;
            --size;
            continue;
        }
        std::size_t run = size;
        if (doubledIac_) {
            const void* iac = std::memchr(data, kIac, size);
            if (iac != nullptr) {
                run = static_cast<std::size_t>(static_cast<const char*>(iac) - data);
            }
        }
        if (!Compare(data, run)) {
            break;
        }
        data += run;
        size -= run;
        if (size > 0 && doubledIac_) {
            pendingIac_ = true;  // the first of a pair; the second carries the data byte
            ++data;
            --size;
        }
    }
    return ok_;
}

bool StreamVerifier::Compare(const char* data, std::size_t size) {
    if (position_ + size > expected_) {
        Fail("more data than sent");
        return false;
    }
    while (size > 0) {
        const std::size_t piece = std::min(size, Pattern::kPeriod);
        if (std::memcmp(data, pattern_.At(position_), piece) != 0) {
            std::size_t at = 0;
            while (at < piece && data[at] == pattern_.At(position_)[at]) {
                ++at;
            }
            Fail("mismatch at byte " + std::to_string(position_ + at) + " (expected " +
                 std::to_string(pattern_.ByteAt(position_ + at)) + ", got " +
                 std::to_string(static_cast<unsigned char>(data[at])) + ", in a run of " +
                 std::to_string(piece) + ")");
            return false;
        }
        position_ += piece;
        data += piece;
        size -= piece;
    }
    return true;
}

void StreamVerifier::Fail(const std::string& why) {
    ok_ = false;
    if (error_.empty()) {
        error_ = why;
    }
}

}  // namespace tolvan::bench
