#include "server/core/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "console_protocol/TextForms.h"
#include "posix_io/UniqueFd.h"
#include "posix_io/WriteAll.h"
#include "server/core/ForeignText.h"
#include "server/core/HostContext.h"

namespace tolvan {

namespace {

// The plain names of a path, or why it is not made of plain names.
struct PathNames {
    std::vector<std::string> names;
    std::string why;
};

PathNames SplitNames(std::string_view path) {
    PathNames out;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view name = path.substr(pos, end - pos);
        if (name == "..") {
            out.names.clear();
            out.why = "\"..\" is not allowed in it";
            return out;
        }
        if (!name.empty() && name != ".") {
            out.names.emplace_back(name);
        }
        pos = end + 1;
    }
    return out;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : "/") + name;
    }
    return out;
}

std::string OpenFailure(const std::string& name, int error) {
    if (error == ELOOP) {
        return "\"" + name + "\" is a symbolic link, which is not followed";
    }
    if (error == ENOTDIR) {
        return "\"" + name + "\" is not a folder (symbolic links are not followed)";
    }
    return "\"" + name + "\": " + std::strerror(error);
}

std::string PortKey(const PortRecord& port) {
    return "Port" + std::to_string(port.PortNumber);
}

void ReportRefused(HostContext& context, const PortRecord& port, const std::string& why) {
    context.log.LogError("M3S1 LogFile '" + EscapeForeignText(port.LogFile) + "' of " +
                         PortKey(port) + " refused: " + EscapeForeignText(why) +
                         "; the port's traffic is not logged");
}

}  // namespace

std::optional<std::string> NormalLogDirectory(std::string_view text) {
    const std::string path = console::Trim(text);
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const PathNames split = SplitNames(path);
    if (!split.why.empty()) {
        return std::nullopt;
    }
    return "/" + Joined(split.names);
}

LogFilePlace PlaceLogFile(std::string_view logDirectory, std::string_view logFile) {
    const std::string text = console::Trim(logFile);
    if (text.empty()) {
        return {};
    }
    if (text.find('\0') != std::string::npos) {
        return {std::nullopt, "it holds a NUL byte"};
    }
    std::string_view rest = text;
    if (text.front() == '/') {
        const std::string folder = logDirectory == "/" ? std::string() : std::string(logDirectory);
        if (!text.starts_with(folder) ||
            (text.size() > folder.size() && text[folder.size()] != '/')) {
            return {std::nullopt, "it is outside the log folder " + std::string(logDirectory)};
        }
        rest.remove_prefix(folder.size());
    }
    const PathNames split = SplitNames(rest);
    if (!split.why.empty()) {
        return {std::nullopt, split.why};
    }
    if (split.names.empty()) {
        return {std::nullopt, "it names the log folder itself, not a file in it"};
    }
    return {Joined(split.names), {}};
}

struct TrafficLogFile::Descriptor {
    explicit Descriptor(int fdIn) : fd(fdIn) {}
    UniqueFd fd;
};

std::string TrafficLogFile::Open(const std::string& logDirectory, const std::string& beneath) {
    Close();
    const PathNames split = SplitNames(beneath);
    if (!split.why.empty() || split.names.empty()) {
        return "\"" + beneath + "\" is not a file name below the log folder";
    }
    int at = ::open(logDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0) {
        return "the log folder " + logDirectory + " cannot be opened: " + std::strerror(errno);
    }
    // One name at a time, never through a link, so nothing leads out of the folder.
    for (std::size_t i = 0; i + 1 < split.names.size(); ++i) {
        const int next =
            ::openat(at, split.names[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(at);
        if (next < 0) {
            return OpenFailure(split.names[i], error);
        }
        at = next;
    }
    // Non-blocking, so that a FIFO put in its place cannot stall the service.
    const int fd = ::openat(
        at, split.names.back().c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0640);
    const int error = errno;
    ::close(at);
    if (fd < 0) {
        return OpenFailure(split.names.back(), error);
    }
    auto file = std::make_shared<const Descriptor>(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return OpenFailure(split.names.back(), errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return "\"" + split.names.back() + "\" is not a regular file";
    }
    // A hard link would write to a file that also lives elsewhere.
    if (info.st_nlink > 1) {
        return "\"" + split.names.back() + "\" has other hard links";
    }
    file_ = std::move(file);
    return {};
}

void TrafficLogFile::Append(std::string_view bytes) const {
    if (!file_) {
        return;
    }
    WriteAll(file_->fd.Get(), bytes);
}

void AppendLogFile(const PortRecord& port, std::string_view bytes) {
    if (port.LogToFile) {
        port.LogHandle.Append(bytes);
    }
}

void RefuseStrayLogFile(HostContext& context, PortRecord& port) {
    const LogFilePlace place = PlaceLogFile(context.settings.LogDirectory, port.LogFile);
    if (place.beneath || place.why.empty()) {
        return;
    }
    ReportRefused(context, port, place.why);
    port.LogFile.clear();
    ClosePortLogFile(port);
}

void OpenPortLogFile(HostContext& context, int portIndex) {
    if (!HasPort(context, portIndex)) {
        return;
    }
    PortRecord& port = PortAt(context, portIndex);
    ClosePortLogFile(port);
    const std::string& folder = context.settings.LogDirectory;
    const LogFilePlace place = PlaceLogFile(folder, port.LogFile);
    if (!place.beneath) {
        if (!place.why.empty()) {
            ReportRefused(context, port, place.why);
        }
        return;
    }
    const std::string why = port.LogHandle.Open(folder, *place.beneath);
    if (!why.empty()) {
        context.log.LogError("M3S2 LogFile '" + EscapeForeignText(port.LogFile) + "' of " +
                             PortKey(port) + " cannot be opened: " + EscapeForeignText(why) +
                             "; the port's traffic is not logged");
        return;
    }
    port.LogToFile = true;
}

void ClosePortLogFile(PortRecord& port) {
    port.LogToFile = false;
    port.LogHandle.Close();
}

void ReopenLogFiles(HostContext& context) {
    for (int i = 0; i < static_cast<int>(context.ports.size()); ++i) {
        PortRecord& port = context.ports[static_cast<std::size_t>(i)];
        if (port.Enabled && !console::Trim(port.LogFile).empty()) {
            OpenPortLogFile(context, i);
        } else {
            ClosePortLogFile(port);
        }
    }
}

}  // namespace tolvan
