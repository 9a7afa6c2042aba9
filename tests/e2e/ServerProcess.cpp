#include "tests/e2e/ServerProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tolvan::e2e {

namespace {

std::vector<std::string> ChildEnvironment(const EnvChanges& changes) {
    std::vector<std::string> out;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (changes.count(name) == 0) {
            out.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            out.push_back(name + "=" + *value);
        }
    }
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> out;
    out.reserve(words.size());
    for (auto& word : words) {
        out.push_back(word.data());
    }
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ServerProcess::~ServerProcess() {
    if (Running()) {
        ::kill(pid_, SIGKILL);
        Reap(true);
    }
}

bool ServerProcess::Start(const std::string& binary, const std::vector<std::string>& args,
                          const EnvChanges& env, const std::string& stdoutPath,
                          const std::string& stderrPath) {
    std::vector<std::string> argvWords{binary};
    argvWords.insert(argvWords.end(), args.begin(), args.end());
    std::vector<std::string> envWords = ChildEnvironment(env);
    std::vector<char*> argv = Pointers(argvWords);
    std::vector<char*> envp = Pointers(envWords);

    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || err < 0) {
        return false;
    }
    status_.reset();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        // A fresh signal state: the test runner may have changed its own.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (runAs_ && (::setgroups(0, nullptr) != 0 ||
                       ::setresgid(runAs_->second, runAs_->second, runAs_->second) != 0 ||
                       ::setresuid(runAs_->first, runAs_->first, runAs_->first) != 0)) {
            _exit(126);
        }
        ::execve(binary.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ::close(out);
    ::close(err);
    return pid_ > 0;
}

bool ServerProcess::Reap(bool wait) {
    if (pid_ <= 0 || status_) {
        return status_.has_value();
    }
    int raw = 0;
    pid_t done = 0;
    do {
        done = ::waitpid(pid_, &raw, wait ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done != pid_) {
        return false;
    }
    ExitStatus status;
    status.exited = WIFEXITED(raw);
    status.code = status.exited ? WEXITSTATUS(raw) : -1;
    status.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
    status_ = status;
    return true;
}

bool ServerProcess::Running() {
    return pid_ > 0 && !Reap(false);
}

bool ServerProcess::Signal(int signal) const {
    return pid_ > 0 && ::kill(pid_, signal) == 0;
}

std::optional<ExitStatus> ServerProcess::WaitExit(Millis within) {
    WaitFor([this] { return !Running(); }, within, Millis(10));
    return status_;
}

RunResult RunToEnd(const std::string& binary, const std::vector<std::string>& args,
                   const EnvChanges& env, const std::string& workDir, Millis within) {
    const std::string outPath = workDir + "/run.out";
    const std::string errPath = workDir + "/run.err";
    RunResult result;
    {
        ServerProcess process;
        if (!process.Start(binary, args, env, outPath, errPath)) {
            return result;
        }
        result.status = process.WaitExit(within);
    }
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

}  // namespace tolvan::e2e
