#pragma once

#include <stdexcept>
#include <string>

namespace tolvan::ctl {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the server refused, failed or is not there
inline constexpr int kExitUsage = 2;   // the command line is wrong

// Ends the program: its text goes to standard error as one line, its status is the exit status.
class CtlError : public std::runtime_error {
public:
    CtlError(int status, const std::string& text) : std::runtime_error(text), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

inline CtlError UsageError(const std::string& text) {
    return CtlError(kExitUsage, text);
}

inline CtlError Failure(const std::string& text) {
    return CtlError(kExitFailed, text);
}

}  // namespace tolvan::ctl
