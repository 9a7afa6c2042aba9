#pragma once

#include <functional>
#include <string>

namespace tolvan {

class RegistryDocument;

// Value types as the registry numbers them.
enum RegType : int { REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

inline constexpr const char* kNotFound = "Not Found";
inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\TolvanServer";

// The registry of one machine, kept as a REGEDIT4 text file. Every key lives under
// HKEY_LOCAL_MACHINE; key paths are given without that root ("SYSTEM\\...\\Settings").
// Key paths and value names compare without regard to letter case.
class RegistryStore {
public:
    // Receives one text per problem worth an error event (a file that cannot be parsed,
    // a write that failed); the owner decides where it goes.
    using ErrorSink = std::function<void(const std::string&)>;

    explicit RegistryStore(std::string path, ErrorSink onError = {});

    const std::string& Path() const { return path_; }

    // Missing key or value, a text longer than 2047 characters, the text "Not Found" and a
    // file that cannot be parsed all answer "Not Found". REG_DWORD reads as decimal with at
    // least three digits, REG_BINARY as upper-case hex pairs.
    std::string RegReadValue(const std::string& keyPath, const std::string& valueName) const;

    // Type 1 stores the text, 4 the text as a decimal 32-bit number, any other type (2, 3)
    // the text's bytes as they are.
    // Locked, merged with what is on disk, atomic and flushed. Returns false on failure
    // (the failure is also handed to the error sink).
    bool RegWriteValue(const std::string& keyPath, const std::string& valueName, int type,
                       const std::string& value);

    // Stores text as a string value only when the key holds no value of that name, checked and
    // written under the lock, so that a value written meanwhile is never replaced.
    enum class AddOutcome { Added, AlreadyThere, Failed };
    AddOutcome RegAddValue(const std::string& keyPath, const std::string& valueName,
                           const std::string& text);

    // Why the file cannot be read or parsed now ("... line 3: ..."); empty when it can (a
    // missing file is an empty store). Reports nothing.
    std::string ReadProblem() const;

    // Removes one value; a missing value is no error.
    bool RegDeleteValue(const std::string& keyPath, const std::string& valueName);

private:
    // Locks, re-reads, applies change (false: nothing to write) and replaces the file.
    bool Modify(const std::function<bool(RegistryDocument&)>& change);
    bool Report(const std::string& text) const;
    void ReportRead(const std::string& text) const;

    std::string path_;
    ErrorSink onError_;
    // The last read problem handed to the sink: a bad file is reported once, not on every read.
    mutable std::string lastReadError_;
};

}  // namespace tolvan
