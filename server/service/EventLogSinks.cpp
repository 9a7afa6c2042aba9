#include "server/service/EventLogSinks.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "posix_io/UniqueFd.h"
#include "posix_io/WriteAll.h"

namespace tolvan {

std::string EscapeEventText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void JournalEventLogSink::Write(int type, int id, const std::string& text) {
    std::string fields[] = {
        "SYSLOG_IDENTIFIER=TolvanServer",
        "PRIORITY=" + std::to_string(type == kEventError ? 3 : 6),
        "TOLVAN_EVENT_TYPE=" + std::to_string(type),
        "TOLVAN_EVENT_ID=" + std::to_string(id),
        "MESSAGE=" + text,
    };
    iovec parts[std::size(fields)];
    for (size_t i = 0; i < std::size(fields); ++i) {
        parts[i].iov_base = fields[i].data();
        parts[i].iov_len = fields[i].size();
    }
    // Binary-safe, so any bytes of the text reach the journal; a failure loses the entry.
    sd_journal_sendv(parts, static_cast<int>(std::size(parts)));
}

void FileEventLogSink::Write(int type, int id, const std::string& text) {
    const UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640));
    if (!fd.Valid()) {
        return;
    }
    // One write per entry keeps lines whole when several processes append.
    WriteAll(fd.Get(), std::to_string(type) + "\t" + std::to_string(id) + "\t" +
                           EscapeEventText(text) + "\n");
}

void StderrEventLogSink::Write(int type, int id, const std::string& text) {
    const char* kind = type == kEventError ? "error" : "information";
    WriteAll(STDERR_FILENO, std::string("TolvanServer ") + kind + " " + std::to_string(id) + ": " +
                                EscapeEventText(text) + "\n");
}

void FanOutEventLogSink::Write(int type, int id, const std::string& text) {
    for (const auto& sink : sinks_) {
        try {
            sink->Write(type, id, text);
        } catch (const std::exception&) {
            // One failing sink must not keep the entry from the others.
        }
    }
}

}  // namespace tolvan
