#include "server/service/ServiceHost.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <QTimer>

#include "server/core/Clock.h"

namespace tolvan {

namespace {

// Stop: SIGTERM (systemd) and SIGINT (Ctrl+C under -debug). Reload: SIGHUP.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&set, signal);
    }
    return set;
}

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
    notifier_.reset();
    if (signalFd_ >= 0) {
        // Signals still pending would strike with their default action once unblocked.
        signalfd_siginfo info{};
        while (::read(signalFd_, &info, sizeof info) > 0) {
        }
        ::close(signalFd_);
        signalFd_ = -1;
    }
    RestoreSignals();
}

bool ServiceHost::StartService() {
    if (signalFd_ < 0) {
        // Blocked signals wait in the signalfd for the event loop, so no handler runs at an
        // arbitrary point and nothing has to reach this object from a static.
        const sigset_t handled = HandledSignals();
        if (::pthread_sigmask(SIG_BLOCK, &handled, &previousMask_) != 0) {
            return false;
        }
        signalsBlocked_ = true;
        signalFd_ = ::signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC);
        if (signalFd_ < 0) {
            RestoreSignals();
            return false;
        }
        notifier_ = std::make_unique<QSocketNotifier>(signalFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_,
                         [this] { OnSignals(); });
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

void ServiceHost::OnSignals() {
    bool stop = false;
    bool reload = false;
    signalfd_siginfo info{};
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGHUP) {
            reload = true;
        } else {
            stop = true;
        }
    }
    // A stop wins: reloading a service that is going away would only delay it.
    if (stop) {
        if (onStop_) {
            onStop_();
        }
    } else if (reload && onReload_) {
        onReload_();
    }
}

void ServiceHost::RestoreSignals() {
    if (!signalsBlocked_) {
        return;
    }
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    signalsBlocked_ = false;
}

void ServiceHost::NotifyReady() const {
    ::sd_notify(0, "READY=1");
}

void ServiceHost::NotifyStopping() const {
    ::sd_notify(0, "STOPPING=1");
}

void ServiceHost::NotifyReloading() const {
    ::sd_notify(0, "RELOADING=1");
}

}  // namespace tolvan
