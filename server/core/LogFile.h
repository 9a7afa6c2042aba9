#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tolvan {

struct HostContext;
struct PortRecord;

// Where traffic log files live unless the store's "LogDirectory" says otherwise.
inline constexpr const char* kDefaultLogDirectory = "/var/log/tolvan";

// A LogFile setting checked against the log folder: its path below that folder, or why it is
// refused.
struct LogFilePlace {
    std::optional<std::string> beneath;  // "com1.log", "site/com1.log"
    std::string why;
};

// The rule for a port's LogFile: a name relative to logDirectory, or an absolute path inside it,
// made of plain names (no "..", no NUL). Surrounding blanks are not part of it, as in the store.
// An empty LogFile is refused too (why is then empty: no log is wanted).
LogFilePlace PlaceLogFile(std::string_view logDirectory, std::string_view logFile);

// The LogDirectory setting: an absolute path without "..", trailing slashes dropped; nullopt
// when the text is not one.
std::optional<std::string> NormalLogDirectory(std::string_view text);

// One port's traffic log, kept open between writes. Copies share the open file.
class TrafficLogFile {
public:
    // Opens (creating it 0640) the regular file at `beneath` below logDirectory. No symbolic
    // link is followed below the folder, missing folders are not created, and a file with
    // other hard links is refused, so the file cannot be anywhere but inside the folder.
    // Returns an empty text when open, otherwise why not (the file is then closed).
    std::string Open(const std::string& logDirectory, const std::string& beneath);
    void Close() { file_.reset(); }
    bool IsOpen() const { return file_ != nullptr; }
    // Appends the bytes unchanged; a failing write loses them and never disturbs the caller.
    void Append(std::string_view bytes) const;

private:
    struct Descriptor;
    std::shared_ptr<const Descriptor> file_;
};

// Appends the bytes to the port's log file while its logging is on.
void AppendLogFile(const PortRecord& port, std::string_view bytes);

// At load: a stored LogFile outside the log folder is reported ("M3S1") and dropped from the
// record, so the port logs nothing until a valid one is set.
void RefuseStrayLogFile(HostContext& context, PortRecord& port);

// (Re)opens the port's log file from its LogFile and the current LogDirectory, closing the old
// one first; a file that cannot be opened is reported ("M3S2"). Sets LogToFile accordingly.
void OpenPortLogFile(HostContext& context, int portIndex);

// Closes the port's log file; its logging is off until OpenPortLogFile.
void ClosePortLogFile(PortRecord& port);

// Reopens the log files of every enabled port that has a LogFile: after they were moved away
// (log rotation) or after LogDirectory changed. Called on SIGHUP.
void ReopenLogFiles(HostContext& context);

}  // namespace tolvan
