#include "server/service/ServiceHost.h"

#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>

#include "server/core/Clock.h"

namespace tolvan {

namespace {

// The write end of the signal channel: a signal handler can reach nothing but a static.
std::atomic<int> signalWriteFd{-1};

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const int fd = signalWriteFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

constexpr int kStopSignals[] = {SIGTERM, SIGINT};

}  // namespace

bool StartedByServiceManager(const std::function<const char*(const char*)>& getEnv) {
    for (const char* name : {"NOTIFY_SOCKET", "INVOCATION_ID"}) {
        const char* value = getEnv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

bool WaitForStart(const Clock& clock, const std::function<bool()>& started,
                  const std::function<void()>& processEvents) {
    const DateTime deadline = clock.NowUtc() + Seconds(15);
    while (!started() && clock.NowUtc() < deadline) {
        processEvents();
    }
    return started();
}

ServiceHost::ServiceHost(bool debug, bool startedByServiceManager)
    : debug_(debug), startedByServiceManager_(startedByServiceManager) {}

ServiceHost::~ServiceHost() {
    RestoreSignals();
    notifier_.reset();
    for (int& fd : pipe_) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

bool ServiceHost::StartService() {
    if (pipe_[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipe_) != 0) {
            return false;
        }
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_,
                         [this] { OnSignalPipe(); });
        signalWriteFd.store(pipe_[1]);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : kStopSignals) {
            ::sigaction(signal, &action, nullptr);
        }
        handlersInstalled_ = true;
    }
    if (debug_ || startedByServiceManager_) {
        QTimer::singleShot(0, &context_, [this] {
            if (onStart_) {
                onStart_();
            }
        });
    }
    return true;
}

void ServiceHost::OnSignalPipe() {
    char buffer[64];
    bool stop = false;
    while (::read(pipe_[0], buffer, sizeof buffer) > 0) {
        stop = true;
    }
    if (stop && onStop_) {
        onStop_();
    }
}

void ServiceHost::RestoreSignals() {
    if (!handlersInstalled_) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    signalWriteFd.store(-1);
    handlersInstalled_ = false;
}

void ServiceHost::NotifyReady() const {
    ::sd_notify(0, "READY=1");
}

void ServiceHost::NotifyStopping() const {
    ::sd_notify(0, "STOPPING=1");
}

}  // namespace tolvan
