#include "console_protocol/Frame.h"

#include <algorithm>
#include <cstddef>

namespace tolvan::console {

namespace {

constexpr char kSeparator = '|';
// Code, separator, length digits, separator: the header never reaches past this.
constexpr std::size_t kLengthStart = 3;
// Drop handed-out bytes once they are this many and at least half of the buffer.
constexpr std::size_t kCompactThreshold = std::size_t{64} * 1024;

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The declared payload length, or nothing when the field is not an acceptable length.
std::optional<std::size_t> PayloadLength(std::string_view text) {
    if (text.empty() || text.size() > kMaxLengthDigits || !AllDigits(text)) {
        return std::nullopt;
    }
    std::size_t length = 0;
    for (char c : text) {
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (length > kMaxPayload) {
        return std::nullopt;
    }
    return length;
}

std::string Describe(std::string_view lengthText) {
    constexpr std::size_t kShown = 16;
    std::string shown(lengthText.substr(0, kShown));
    if (lengthText.size() > kShown) {
        shown += "...";
    }
    return "bad frame length \"" + shown + "\"";
}

}  // namespace

std::string FrameMessage(std::string_view code, std::string_view payload) {
    std::string frame;
    const std::string length = std::to_string(payload.size());
    frame.reserve(code.size() + length.size() + payload.size() + 2);
    frame.append(code).append(1, kSeparator).append(length).append(1, kSeparator).append(payload);
    return frame;
}

void FrameDecoder::Append(std::string_view bytes) {
    if (consumed_ >= kCompactThreshold && consumed_ * 2 >= buffer_.size()) {
        Compact();
    }
    buffer_.append(bytes);
}

void FrameDecoder::Clear() {
    buffer_.clear();
    consumed_ = 0;
    resynchronising_ = false;
}

void FrameDecoder::Compact() {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
}

void FrameDecoder::SkipBadLength(std::string_view lengthText) {
    if (!resynchronising_) {
        resynchronising_ = true;
        if (onBadFrame_) {
            onBadFrame_(Describe(lengthText));
        }
    }
    ++consumed_;
}

std::optional<Frame> FrameDecoder::Next() {
    for (;;) {
        const std::string_view view = Buffered();
        if (view.size() < kLengthStart || view[2] != kSeparator) {
            if (view.size() <= kLengthStart) {
                break;
            }
            ++consumed_;
            continue;
        }

        // The second separator can only be within reach of the longest acceptable length.
        const std::string_view head = view.substr(kLengthStart, kMaxLengthDigits + 1);
        const std::size_t separator = head.find(kSeparator);
        if (separator == std::string_view::npos) {
            // Still waiting for the second separator; give up early on what cannot become a
            // length, so digits cannot pile up forever.
            if (head.size() > kMaxLengthDigits || !AllDigits(head)) {
                SkipBadLength(head);
                continue;
            }
            break;
        }

        const std::string_view lengthText = head.substr(0, separator);
        const std::optional<std::size_t> length = PayloadLength(lengthText);
        if (!length) {
            SkipBadLength(lengthText);
            continue;
        }

        const std::size_t payloadStart = kLengthStart + separator + 1;
        if (view.size() - payloadStart < *length) {
            break;
        }
        Frame frame{std::string(view.substr(0, 2)),
                    std::string(view.substr(payloadStart, *length))};
        consumed_ += payloadStart + *length;
        resynchronising_ = false;
        return frame;
    }
    // Waiting for more bytes: drop what has been handed out so the buffer stays small.
    if (consumed_ > 0) {
        Compact();
    }
    return std::nullopt;
}

std::vector<std::string> SplitFields(std::string_view payload, int limit) {
    std::vector<std::string> fields;
    if (payload.empty()) {
        return fields;
    }
    std::size_t start = 0;
    for (;;) {
        if (limit > 0 && fields.size() + 1 == static_cast<std::size_t>(limit)) {
            break;
        }
        const std::size_t separator = payload.find(kSeparator, start);
        if (separator == std::string_view::npos) {
            break;
        }
        fields.emplace_back(payload.substr(start, separator - start));
        start = separator + 1;
    }
    fields.emplace_back(payload.substr(start));
    return fields;
}

}  // namespace tolvan::console
