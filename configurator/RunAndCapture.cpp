#include "configurator/RunAndCapture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMessageBox>
#include <cerrno>

extern char** environ;

namespace tolvan {
namespace {

constexpr std::size_t kChunk = 256;

// Closes a descriptor once, on every path out of RunAndCapture.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
};

QString ErrorText(const char* what, int error) {
    return QString::fromLatin1(what) + QString::number(error);
}

// Spawns argv with standard output and error on writeEnd; returns 0 or an error number.
int Spawn(const std::vector<std::string>& arguments, int writeEnd, pid_t& child) {
    if (arguments.empty()) {
        return ENOENT;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    int error = posix_spawn_file_actions_init(&actions);
    if (error != 0) {
        return error;
    }
    // No terminal input: a command must never sit waiting for the operator it cannot see.
    error = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) {
        error = posix_spawn_file_actions_adddup2(&actions, writeEnd, STDOUT_FILENO);
    }
    if (error == 0) {
        error = posix_spawn_file_actions_adddup2(&actions, writeEnd, STDERR_FILENO);
    }
    if (error == 0) {
        error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

void ShowFailureMessageBox(const QString& text) {
    QMessageBox::information(nullptr, QStringLiteral("TolvanServerConfig"), text);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}

std::string RunAndCapture(const std::string& commandLine, const FailureMessage& onFailure) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        if (onFailure) {
            onFailure(ErrorText("CreatePipe failed. Error: ", errno));
        }
        return {};
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);

    pid_t child = -1;
    const int error = Spawn(SplitCommandLine(commandLine), writeEnd.Get(), child);
    writeEnd.Close();
    if (error != 0) {
        if (onFailure) {
            onFailure(ErrorText("CreateProcess failed. Error: ", error));
        }
        return {};
    }

    std::string output;
    char chunk[kChunk];
    for (;;) {
        const ssize_t count = ::read(readEnd.Get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        output.append(chunk, static_cast<std::size_t>(count));
    }
    readEnd.Close();

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return output;
}

}  // namespace tolvan
