#include "server/core/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tolvan {

void AppendLogFile(const std::string& path, std::string_view text) {
    if (path.empty())
        return;
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace tolvan
