// Store files as an operator might have edited them: whatever parses must serialise to a text
// that parses to the same document, and a value set in it must survive the trip.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings_store/RegistryDocument.h"
#include "settings_store/RegistryStore.h"
#include "tests/support/FakeServer.h"

namespace {

using tolvan::FakeServer;

std::optional<tolvan::RegistryDocument> ParseText(std::string_view text) {
    tolvan::RegistryDocument::ParseError error;
    auto document = tolvan::RegistryDocument::Parse(text, error);
    if (!document) {
        FakeServer::Require(error.line >= 0 && !error.message.empty());
    }
    return document;
}

// A value of every type, made from the input's first bytes.
tolvan::RegistryValue ValueFrom(std::string_view input) {
    tolvan::RegistryValue value;
    const unsigned char kind = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    value.type = 1 + kind % 4;
    if (value.type == tolvan::REG_DWORD) {
        for (char c : input.substr(0, 4)) {
            value.dword = (value.dword << 8) | static_cast<unsigned char>(c);
        }
    } else {
        value.bytes = std::string(input.substr(0, 40));
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using tolvan::RegistryDocument;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<RegistryDocument> document = ParseText(text);
    if (!document) {
        return 0;
    }

    const std::string once = document->Serialize();
    std::optional<RegistryDocument> again = ParseText(once);
    FakeServer::Require(again.has_value());
    FakeServer::Require(again->Serialize() == once);

    // Names may hold any byte but the ones a name cannot carry in the file.
    std::string name(text.substr(0, 12));
    std::erase_if(name, [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
    const std::string key = std::string(tolvan::kServiceKey) + "\\Port7";
    const tolvan::RegistryValue value = ValueFrom(text.substr(size / 2));
    document->Set(key, name, value);
    const tolvan::RegistryValue* found = document->Find(key, name);
    FakeServer::Require(found != nullptr && *found == value);

    std::optional<RegistryDocument> stored = ParseText(document->Serialize());
    FakeServer::Require(stored.has_value());
    found = stored->Find(key, name);
    FakeServer::Require(found != nullptr && *found == value);

    FakeServer::Require(stored->Remove(key, name));
    FakeServer::Require(stored->Find(key, name) == nullptr);
    FakeServer::Require(ParseText(stored->Serialize()).has_value());
    return 0;
}
