#include "settings_store/RegistryDocument.h"

#include <algorithm>
#include <cstdio>

#include "console_protocol/TextForms.h"

namespace tolvan {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           console::EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimLine(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string NormaliseKey(std::string_view keyPath) {
    while (!keyPath.empty() && keyPath.front() == '\\') {
        keyPath.remove_prefix(1);
    }
    while (!keyPath.empty() && keyPath.back() == '\\') {
        keyPath.remove_suffix(1);
    }
    return std::string(keyPath);
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

// Reads one logical value line; it may run over several physical lines (a text holding a line
// break, a hex list continued with a backslash).
class ValueReader {
public:
    ValueReader(std::string_view text, size_t pos, int line)
        : text_(text), pos_(pos), line_(line) {}

    bool Read(std::string& name, RegistryValue& value) {
        if (Peek() == '@') {
            ++pos_;
            name.clear();
        } else if (!ReadString(name)) {
            return false;
        }
        SkipBlanks();
        if (Peek() != '=') {
            return Fail("'=' expected after the value name");
        }
        ++pos_;
        SkipBlanks();
        std::string_view rest = text_.substr(pos_);
        if (Peek() == '"') {
            value.type = 1;
            if (!ReadString(value.bytes)) {
                return false;
            }
        } else if (StartsWithNoCase(rest, "dword:")) {
            pos_ += 6;
            value.type = 4;
            if (!ReadDword(value.dword)) {
                return false;
            }
        } else if (StartsWithNoCase(rest, "hex:")) {
            pos_ += 4;
            value.type = 3;
            if (!ReadBytes(value.bytes)) {
                return false;
            }
        } else if (StartsWithNoCase(rest, "hex(")) {
            pos_ += 4;
            uint32_t type = 0;  // eight digits do not fit a signed int
            int digits = 0;
            for (int d; (d = HexDigit(Peek())) >= 0 && digits < 8; ++digits, ++pos_) {
                type = type * 16 + d;
            }
            if (digits == 0 || Peek() != ')' || pos_ + 1 >= text_.size() ||
                text_[pos_ + 1] != ':') {
                return Fail("malformed hex(n): notation");
            }
            pos_ += 2;
            value.type = static_cast<int>(type);
            if (!ReadBytes(value.bytes)) {
                return false;
            }
        } else {
            return Fail("unknown value notation");
        }
        while (IsBlank(Peek()) || Peek() == '\r') {
            ++pos_;
        }
        if (!AtLineEnd()) {
            return Fail("unexpected text after the value");
        }
        return true;
    }

    size_t Pos() const { return pos_; }
    int Line() const { return line_; }
    const std::string& Error() const { return error_; }
    // Line-end CRs inside the value (continued lines), left out of the text kept for writing.
    const std::vector<size_t>& DroppedCr() const { return droppedCr_; }

private:
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtLineEnd() const { return AtEnd() || text_[pos_] == '\n'; }
    void SkipBlanks() {
        while (IsBlank(Peek())) {
            ++pos_;
        }
    }
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    bool ReadString(std::string& out) {
        if (Peek() != '"') {
            return Fail("'\"' expected");
        }
        ++pos_;
        out.clear();
        for (;;) {
            if (AtEnd()) {
                return Fail("text not closed by '\"'");
            }
            char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (AtEnd() || (Peek() != '\\' && Peek() != '"')) {
                    return Fail("only \\\\ and \\\" may follow a backslash in a text");
                }
                c = text_[pos_++];
            } else if (c == '\n') {
                ++line_;
            }
            out += c;
        }
    }

    bool ReadDword(uint32_t& out) {
        out = 0;
        int digits = 0;
        for (int d; (d = HexDigit(Peek())) >= 0; ++pos_, ++digits) {
            if (digits == 8) {
                return Fail("dword with more than 8 hex digits");
            }
            out = out * 16 + static_cast<uint32_t>(d);
        }
        if (digits == 0) {
            return Fail("hex digits expected after dword:");
        }
        return true;
    }

    // Blanks and backslash line continuations between the bytes of a hex list.
    void SkipFiller() {
        for (;;) {
            SkipBlanks();
            if (Peek() != '\\') {
                return;
            }
            size_t p = pos_ + 1;
            while (p < text_.size() && (IsBlank(text_[p]) || text_[p] == '\r')) {
                ++p;
            }
            if (p >= text_.size() || text_[p] != '\n') {
                return;
            }
            // Every CR before the LF, so the line written back reads back the same.
            size_t cr = p;
            while (cr > pos_ + 1 && text_[cr - 1] == '\r') {
                --cr;
            }
            for (; cr < p; ++cr) {
                droppedCr_.push_back(cr);
            }
            pos_ = p + 1;
            ++line_;
        }
    }

    bool ReadBytes(std::string& out) {
        out.clear();
        SkipFiller();
        if (AtLineEnd() || Peek() == '\r') {
            return true;
        }
        for (;;) {
            SkipFiller();
            int hi = HexDigit(Peek());
            int lo = pos_ + 1 < text_.size() ? HexDigit(text_[pos_ + 1]) : -1;
            if (hi < 0 || lo < 0) {
                return Fail("two hex digits expected in a byte list");
            }
            out += static_cast<char>(hi * 16 + lo);
            pos_ += 2;
            SkipFiller();
            if (Peek() != ',') {
                return true;
            }
            ++pos_;
        }
    }

    std::string_view text_;
    size_t pos_;
    int line_;
    std::string error_;
    std::vector<size_t> droppedCr_;
};

}  // namespace

std::string FormatValueLine(std::string_view name, const RegistryValue& value) {
    std::string out = name.empty() ? "@=" : Quote(name) + "=";
    char buf[16];
    if (value.type == 1) {
        out += Quote(value.bytes);
        return out;
    }
    if (value.type == 4) {
        std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
        return out + buf;
    }
    if (value.type == 3) {
        out += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
        out += buf;
    }
    for (size_t i = 0; i < value.bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x",
                      static_cast<unsigned char>(value.bytes[i]));
        out += buf;
    }
    return out;
}

std::optional<RegistryDocument> RegistryDocument::Parse(std::string_view text, ParseError& error) {
    RegistryDocument doc;
    bool sawHeader = false;
    bool inKey = false;
    std::string currentKey;
    size_t pos = 0;
    int line = 1;
    auto fail = [&](int at, std::string message) {
        error = {at, std::move(message)};
        return std::nullopt;
    };
    while (pos < text.size()) {
        size_t start = pos;
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
        Line entry;
        char first = pos < text.size() ? text[pos] : '\n';
        if (sawHeader && (first == '"' || first == '@')) {
            if (!inKey) {
                return fail(line, "value outside of a key");
            }
            ValueReader reader(text, pos, line);
            if (!reader.Read(entry.name, entry.value)) {
                return fail(reader.Line(), reader.Error());
            }
            entry.kind = Kind::Value;
            entry.keyPath = currentKey;
            pos = reader.Pos();
            std::string_view raw = text.substr(start, pos - start);
            while (!raw.empty() && (IsBlank(raw.back()) || raw.back() == '\r')) {
                raw.remove_suffix(1);
            }
            const std::vector<size_t>& dropped = reader.DroppedCr();
            for (size_t i = 0, d = 0; i < raw.size(); ++i) {
                if (d < dropped.size() && dropped[d] == start + i) {
                    ++d;
                    continue;
                }
                entry.raw += raw[i];
            }
            line = reader.Line();
        } else {
            size_t end = text.find('\n', pos);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view physical = text.substr(start, end - start);
            // Every CR before the LF, so a line written back reads back the same.
            while (!physical.empty() && physical.back() == '\r') {
                physical.remove_suffix(1);
            }
            entry.raw = std::string(physical);
            std::string_view trimmed = TrimLine(physical);
            if (trimmed.empty() || trimmed.front() == ';') {
                // blank line or comment
            } else if (!sawHeader) {
                if (trimmed != kHeader) {
                    return fail(line, "the file does not start with REGEDIT4");
                }
                sawHeader = true;
            } else if (trimmed.front() == '[') {
                if (trimmed.back() != ']') {
                    return fail(line, "key line not closed by ']'");
                }
                std::string_view inner = trimmed.substr(1, trimmed.size() - 2);
                if (!StartsWithNoCase(inner, kRoot) ||
                    (inner.size() > kRoot.size() && inner[kRoot.size()] != '\\')) {
                    return fail(line, "only keys under HKEY_LOCAL_MACHINE are supported");
                }
                entry.kind = Kind::Key;
                entry.keyPath = NormaliseKey(inner.substr(kRoot.size()));
                currentKey = entry.keyPath;
                inKey = true;
            } else {
                return fail(line, "unrecognised line");
            }
            pos = end;
        }
        doc.lines_.push_back(std::move(entry));
        if (pos < text.size()) {
            ++pos;  // the LF
            ++line;
        }
    }
    return doc;
}

const RegistryValue* RegistryDocument::Find(std::string_view keyPath, std::string_view name) const {
    std::string key = NormaliseKey(keyPath);
    // The last of several spellings of one value wins, as when the file was merged.
    const auto found = std::find_if(lines_.rbegin(), lines_.rend(), [&](const Line& line) {
        return line.kind == Kind::Value && console::EqualsIgnoringCase(line.keyPath, key) &&
               console::EqualsIgnoringCase(line.name, name);
    });
    return found == lines_.rend() ? nullptr : &found->value;
}

void RegistryDocument::Set(std::string_view keyPath, std::string_view name,
                           const RegistryValue& value) {
    std::string key = NormaliseKey(keyPath);
    std::optional<size_t> kept;
    for (size_t i = lines_.size(); i-- > 0;) {
        Line& l = lines_[i];
        if (l.kind != Kind::Value || !console::EqualsIgnoringCase(l.keyPath, key) ||
            !console::EqualsIgnoringCase(l.name, name)) {
            continue;
        }
        if (kept) {
            // an earlier duplicate made by hand; the last one was the one in force
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            --*kept;
        } else {
            kept = i;
        }
    }
    if (kept) {
        Line& l = lines_[*kept];
        size_t indent = l.raw.find_first_not_of(" \t");
        l.raw = l.raw.substr(0, indent == std::string::npos ? 0 : indent) +
                FormatValueLine(l.name, value);
        l.value = value;
        return;
    }
    Line entry;
    entry.kind = Kind::Value;
    entry.keyPath = key;
    entry.name = std::string(name);
    entry.value = value;
    entry.raw = FormatValueLine(name, value);
    if (std::optional<size_t> section = LastSection(key)) {
        size_t at = *section;
        for (size_t i = at + 1; i < lines_.size() && lines_[i].kind != Kind::Key; ++i) {
            if (lines_[i].kind == Kind::Value) {
                at = i;
            }
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(entry));
        return;
    }
    EnsureHeader();
    if (!TrimLine(lines_.back().raw).empty()) {
        lines_.push_back(Line{});
    }
    Line header;
    header.kind = Kind::Key;
    header.keyPath = key;
    header.raw = "[" + std::string(kRoot) + (key.empty() ? "" : "\\" + key) + "]";
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
}

bool RegistryDocument::Remove(std::string_view keyPath, std::string_view name) {
    std::string key = NormaliseKey(keyPath);
    size_t before = lines_.size();
    std::erase_if(lines_, [&](const Line& l) {
        return l.kind == Kind::Value && console::EqualsIgnoringCase(l.keyPath, key) &&
               console::EqualsIgnoringCase(l.name, name);
    });
    return lines_.size() != before;
}

std::string RegistryDocument::Serialize() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.raw;
        out += '\n';
    }
    return out;
}

std::optional<size_t> RegistryDocument::LastSection(std::string_view keyPath) const {
    for (size_t i = lines_.size(); i-- > 0;) {
        if (lines_[i].kind == Kind::Key &&
            console::EqualsIgnoringCase(lines_[i].keyPath, keyPath)) {
            return i;
        }
    }
    return std::nullopt;
}

void RegistryDocument::EnsureHeader() {
    for (const Line& l : lines_) {
        if (TrimLine(l.raw) == kHeader) {
            return;
        }
    }
    Line header;
    header.raw = std::string(kHeader);
    lines_.insert(lines_.begin(), std::move(header));
}

}  // namespace tolvan
