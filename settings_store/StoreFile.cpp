#include "settings_store/StoreFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "posix_io/WriteAll.h"

namespace tolvan {

namespace {

constexpr const char* kTempInfix = ".tmp-";

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string ReadStoreFile(const std::string& path, std::string& text) {
    text.clear();
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return errno == ENOENT ? std::string() : Reason("cannot open");
    }
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Reason("cannot read");
        }
        if (n == 0) {
            break;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    return {};
}

std::string ReplaceStoreFile(const std::string& path, const std::string& text) {
    struct stat old {};
    bool exists = ::stat(path.c_str(), &old) == 0;
    std::string temp = path + kTempInfix + "XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return Reason("cannot create a temporary file");
    }
    std::string error;
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : 0640) != 0) {
        error = Reason("cannot set the file mode");
    } else if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
               ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not permitted for an ordinary user; the file then belongs to the writer.
    }
    if (error.empty() && !WriteAll(fd, text)) {
        error = Reason("cannot write");
    }
    if (error.empty() && ::fsync(fd) != 0) {
        error = Reason("cannot flush");
    }
    if (::close(fd) != 0 && error.empty()) {
        error = Reason("cannot close");
    }
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = Reason("cannot rename");
    }
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return error;
    }
    const UniqueFd dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
    return {};
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = FolderOf(path) + "/";
    std::string prefix = path.substr(path.rfind('/') + 1) + kTempInfix;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            ::unlink((folder + name).c_str());
        }
    }
    ::closedir(dir);
}

StoreLock::StoreLock(const std::string& path) {
    std::string lockPath = path + ".lock";
    fd_.Reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640));
    if (!fd_.Valid()) {
        error_ = Reason(("cannot open the lock file " + lockPath).c_str());
        return;
    }
    while (::flock(fd_.Get(), LOCK_EX) != 0) {
        if (errno == EINTR) {
            continue;
        }
        error_ = Reason(("cannot lock " + lockPath).c_str());
        fd_.Reset();
        return;
    }
}

}  // namespace tolvan
