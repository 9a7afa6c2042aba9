#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan::console {

// Largest payload a frame may declare; a longer one is treated as garbage.
inline constexpr std::size_t kMaxPayload = std::size_t{1024} * 1024;

// Longest length field accepted: kMaxPayload has 7 digits, leading zeros get a little room.
inline constexpr std::size_t kMaxLengthDigits = 8;

// code + "|" + decimal payload length + "|" + payload (the sender appends CR LF).
std::string FrameMessage(std::string_view code, std::string_view payload);

struct Frame {
    std::string code;
    std::string payload;
};

// Reassembles frames from the bytes of one console connection. Bytes go in, complete frames
// come out; nothing is handed out before its payload is whole.
//
// Anything that does not start a frame (the CR LF after each frame, stray bytes) is dropped one
// character at a time until a frame start lines up. A length field that is not plain decimal
// digits, is longer than kMaxLengthDigits or declares more than kMaxPayload is skipped the same
// way, so a broken peer can neither stall the decoder nor grow the buffer without bound.
class FrameDecoder {
public:
    // Told once per bad length field that was skipped. The characters dropped while finding
    // the next good frame often look like further bad frames; those are not reported again
    // until a good frame has been decoded.
    using BadFrameSink = std::function<void(const std::string& description)>;

    explicit FrameDecoder(BadFrameSink onBadFrame = {}) : onBadFrame_(std::move(onBadFrame)) {}

    void Append(std::string_view bytes);
    // The next complete frame, or nothing until more bytes arrive.
    std::optional<Frame> Next();
    void Clear();
    // The bytes received and not yet handed out or skipped.
    std::string_view Buffered() const { return std::string_view(buffer_).substr(consumed_); }

private:
    void Compact();
    void SkipBadLength(std::string_view lengthText);

    std::string buffer_;
    std::size_t consumed_ = 0;  // bytes at the front of buffer_ already handed out or skipped
    bool resynchronising_ = false;
    BadFrameSink onBadFrame_;
};

// Splits on "|". With limit > 0 at most limit fields, the last one holding the rest, "|"
// included. An empty payload gives no fields at all (not one empty field), so a request that
// must carry exactly one field is not satisfied by an empty payload.
std::vector<std::string> SplitFields(std::string_view payload, int limit = 0);

}  // namespace tolvan::console
