#include "settings_store/StoreFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvan {

namespace {

constexpr const char* kTempInfix = ".tmp-";

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string ReadStoreFile(const std::string& path, std::string& text) {
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::string() : Reason("cannot open");
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::string error = Reason("cannot read");
            ::close(fd);
            return error;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return {};
}

std::string ReplaceStoreFile(const std::string& path, const std::string& text) {
    struct stat old {};
    bool exists = ::stat(path.c_str(), &old) == 0;
    std::string temp = path + kTempInfix + "XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Reason("cannot create a temporary file");
    std::string error;
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : 0640) != 0) {
        error = Reason("cannot set the file mode");
    } else if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
               ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not permitted for an ordinary user; the file then belongs to the writer.
    }
    if (error.empty() && !WriteAll(fd, text))
        error = Reason("cannot write");
    if (error.empty() && ::fsync(fd) != 0)
        error = Reason("cannot flush");
    if (::close(fd) != 0 && error.empty())
        error = Reason("cannot close");
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
        error = Reason("cannot rename");
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return error;
    }
    int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

void RemoveStaleTemporaries(const std::string& path) {
    std::string folder = FolderOf(path);
    std::string prefix = path.substr(path.rfind('/') + 1) + kTempInfix;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}

StoreLock::StoreLock(const std::string& path) {
    std::string lockPath = path + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (fd_ < 0) {
        error_ = Reason(("cannot open the lock file " + lockPath).c_str());
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        error_ = Reason(("cannot lock " + lockPath).c_str());
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

StoreLock::~StoreLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace tolvan
