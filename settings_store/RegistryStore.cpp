#include "settings_store/RegistryStore.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

#include "settings_store/RegistryDocument.h"
#include "settings_store/StoreFile.h"

namespace tolvan {

namespace {

constexpr size_t kMaxText = 2047;
constexpr size_t kMaxBytes = 2048;

// Decimal text, optionally signed and blank-padded, that fits 32 bits signed or unsigned.
std::optional<uint32_t> ParseDword(const std::string& text) {
    size_t i = 0;
    size_t end = text.size();
    while (i < end && text[i] == ' ') {
        ++i;
    }
    while (end > i && text[end - 1] == ' ') {
        --end;
    }
    bool negative = i < end && text[i] == '-';
    if (i < end && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    if (i == end) {
        return std::nullopt;
    }
    int64_t number = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        number = number * 10 + (text[i] - '0');
        if (number > 0xFFFFFFFFLL) {
            return std::nullopt;
        }
    }
    if (negative) {
        if (number > 0x80000000LL) {
            return std::nullopt;
        }
        number = -number;
    }
    return static_cast<uint32_t>(number);
}

std::string ReadText(const RegistryValue& value) {
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::string text = value.bytes;
            if (value.type == REG_EXPAND_SZ && !text.empty() && text.back() == '\0') {
                text.pop_back();  // exported by other tools with its terminator
            }
            return text.size() > kMaxText ? std::string(kNotFound) : text;
        }
        case REG_DWORD: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%03u", static_cast<unsigned>(value.dword));
            return buf;
        }
        default: {
            if (value.bytes.size() > kMaxBytes) {
                return kNotFound;
            }
            static constexpr char kDigits[] = "0123456789ABCDEF";
            std::string text;
            for (unsigned char c : value.bytes) {
                text += kDigits[c >> 4];
                text += kDigits[c & 15];
            }
            return text;
        }
    }
}

}  // namespace

RegistryStore::RegistryStore(std::string path, ErrorSink onError)
    : path_(std::move(path)), onError_(std::move(onError)) {}

std::string RegistryStore::RegReadValue(const std::string& keyPath,
                                        const std::string& valueName) const {
    std::string text;
    if (std::string error = ReadStoreFile(path_, text); !error.empty()) {
        ReportRead("settings store " + path_ + ": " + error);
        return kNotFound;
    }
    RegistryDocument::ParseError bad;
    std::optional<RegistryDocument> doc = RegistryDocument::Parse(text, bad);
    if (!doc) {
        ReportRead("settings store " + path_ + " line " + std::to_string(bad.line) + ": " +
                   bad.message);
        return kNotFound;
    }
    lastReadError_.clear();
    const RegistryValue* value = doc->Find(keyPath, valueName);
    return value ? ReadText(*value) : std::string(kNotFound);
}

bool RegistryStore::RegWriteValue(const std::string& keyPath, const std::string& valueName,
                                  int type, const std::string& value) {
    RegistryValue stored;
    stored.type = type;
    if (type == REG_DWORD) {
        std::optional<uint32_t> number = ParseDword(value);
        if (!number) {
            return Report("settings store " + path_ + ": '" + value + "' for \"" + valueName +
                          "\" is not a 32-bit number");
        }
        stored.dword = *number;
    } else if (type < 0) {
        return Report("settings store " + path_ + ": invalid value type " + std::to_string(type));
    } else {
        stored.bytes = value;
    }
    return Modify([&](RegistryDocument& doc) {
        const RegistryValue* old = doc.Find(keyPath, valueName);
        if (old && *old == stored) {
            return false;
        }
        doc.Set(keyPath, valueName, stored);
        return true;
    });
}

RegistryStore::AddOutcome RegistryStore::RegAddValue(const std::string& keyPath,
                                                     const std::string& valueName,
                                                     const std::string& text) {
    bool there = false;
    const bool written = Modify([&](RegistryDocument& doc) {
        there = doc.Find(keyPath, valueName) != nullptr;
        if (!there) {
            doc.Set(keyPath, valueName, RegistryValue{REG_SZ, text, 0});
        }
        return !there;
    });
    if (!written) {
        return AddOutcome::Failed;
    }
    return there ? AddOutcome::AlreadyThere : AddOutcome::Added;
}

bool RegistryStore::RegDeleteValue(const std::string& keyPath, const std::string& valueName) {
    return Modify([&](RegistryDocument& doc) { return doc.Remove(keyPath, valueName); });
}

bool RegistryStore::Modify(const std::function<bool(RegistryDocument&)>& change) {
    StoreLock lock(path_);
    if (!lock.Error().empty()) {
        return Report("settings store " + path_ + ": " + lock.Error());
    }
    std::string text;
    if (std::string error = ReadStoreFile(path_, text); !error.empty()) {
        return Report("settings store " + path_ + ": " + error);
    }
    RegistryDocument::ParseError bad;
    std::optional<RegistryDocument> doc = RegistryDocument::Parse(text, bad);
    if (!doc) {
        return Report("settings store " + path_ + " line " + std::to_string(bad.line) + ": " +
                      bad.message + " (not changed)");
    }
    if (!change(*doc)) {
        return true;
    }
    RemoveStaleTemporaries(path_);
    if (std::string error = ReplaceStoreFile(path_, doc->Serialize()); !error.empty()) {
        return Report("settings store " + path_ + ": " + error);
    }
    return true;
}

bool RegistryStore::Report(const std::string& text) const {
    if (onError_) {
        onError_(text);
    }
    return false;
}

void RegistryStore::ReportRead(const std::string& text) const {
    if (text == lastReadError_) {
        return;
    }
    lastReadError_ = text;
    Report(text);
}

}  // namespace tolvan
