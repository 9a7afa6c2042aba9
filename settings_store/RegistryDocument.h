#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan {

// One typed value as the file holds it. Texts and raw bytes live in `bytes`.
struct RegistryValue {
    int type = 1;
    std::string bytes;
    uint32_t dword = 0;

    bool operator==(const RegistryValue&) const = default;
};

// A REGEDIT4 text held as its logical lines, so that a change rewrites only the line it
// touches and leaves comments, blank lines and hand-made layout as they were.
class RegistryDocument {
public:
    struct ParseError {
        int line = 0;
        std::string message;
    };

    // An empty or blank text is an empty document.
    static std::optional<RegistryDocument> Parse(std::string_view text, ParseError& error);

    const RegistryValue* Find(std::string_view keyPath, std::string_view name) const;
    // Replaces the value (keeping the spelling of its name) or adds it, creating the key.
    void Set(std::string_view keyPath, std::string_view name, const RegistryValue& value);
    // Returns false when there was no such value.
    bool Remove(std::string_view keyPath, std::string_view name);

    // Lines joined by LF, ending in LF.
    std::string Serialize() const;

private:
    enum class Kind { Other, Key, Value };
    struct Line {
        Kind kind = Kind::Other;
        std::string raw;      // the exact text, line breaks inside strings included
        std::string keyPath;  // Key lines: the path without the root
        std::string name;     // Value lines
        RegistryValue value;  // Value lines
    };

    // Index of the key line of the last section for keyPath, if any.
    std::optional<size_t> LastSection(std::string_view keyPath) const;
    void EnsureHeader();

    std::vector<Line> lines_;
};

// The line of one value, as written: "name"=... with the type's notation.
std::string FormatValueLine(std::string_view name, const RegistryValue& value);

}  // namespace tolvan
