#pragma once

#include <optional>
#include <string>

#include "posix_io/UniqueFd.h"

namespace tolvan {

// File access of the settings store. Each function returns an empty error text on success,
// else a short description of what failed (with the system's reason).

// A missing file reads as empty text.
std::string ReadStoreFile(const std::string& path, std::string& text);

// Writes a temporary file beside path, flushes it, renames it over path and flushes the
// folder. A new file gets mode 0640; an existing file keeps its mode.
std::string ReplaceStoreFile(const std::string& path, const std::string& text);

// Removes temporary files left by writers that died before their rename. Only called while
// holding the lock, when no other writer can be in the middle of a write.
void RemoveStaleTemporaries(const std::string& path);

// An exclusive flock on "<path>.lock", held while the object lives.
class StoreLock {
public:
    explicit StoreLock(const std::string& path);
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    const std::string& Error() const { return error_; }

private:
    UniqueFd fd_;
    std::string error_;
};

}  // namespace tolvan
