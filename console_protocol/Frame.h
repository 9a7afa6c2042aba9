#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan::console {

// Largest payload a frame may declare; a longer one is treated as garbage.
inline constexpr std::size_t kMaxPayload = 1024 * 1024;

// code + "|" + decimal payload length + "|" + payload (the sender appends CR LF).
std::string FrameMessage(std::string_view code, std::string_view payload);

struct Frame {
    std::string code;
    std::string payload;
};

// Reassembles frames from the bytes of one console connection. Bytes go in, complete frames
// come out; nothing is handed out before its payload is whole.
class FrameDecoder {
public:
    // Told once per bad length field (not a number, or above kMaxPayload) that was skipped.
    using BadFrameSink = std::function<void(const std::string& description)>;

    explicit FrameDecoder(BadFrameSink onBadFrame = {}) : onBadFrame_(std::move(onBadFrame)) {}

    void Append(std::string_view bytes) { buffer_.append(bytes); }
    // The next complete frame, or nothing until more bytes arrive.
    std::optional<Frame> Next();
    void Clear() { buffer_.clear(); }
    const std::string& Buffered() const { return buffer_; }

private:
    std::string buffer_;
    std::size_t consumed_ = 0;
    BadFrameSink onBadFrame_;
};

// Splits on "|"; with limit > 0 at most limit fields, the last one holding the rest.
std::vector<std::string> SplitFields(std::string_view payload, int limit = 0);

}  // namespace tolvan::console
