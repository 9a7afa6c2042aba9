#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

namespace tolvan {

class Clock;

// True when systemd started the process (it sets NOTIFY_SOCKET for Type=notify units and
// INVOCATION_ID for every unit it runs).
bool StartedByServiceManager(const std::function<const char*(const char*)>& getEnv);

// Lets events run until started() answers true or 15 seconds (UTC) have passed; true when
// started() did. processEvents must return after each event it handles.
bool WaitForStart(const Clock& clock, const std::function<bool()>& started,
                  const std::function<void()>& processEvents);

// The service host: delivers the Start notification when systemd runs the process or in debug
// mode, turns SIGTERM and SIGINT into the Stop notification and SIGHUP into the Reload
// notification, and tells systemd about start-up, reloads and shut-down. Notifications arrive
// from the event loop.
class ServiceHost {
public:
    ServiceHost(bool debug, bool startedByServiceManager);
    ~ServiceHost();

    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;

    void SetOnStart(std::function<void()> handler) { onStart_ = std::move(handler); }
    void SetOnStop(std::function<void()> handler) { onStop_ = std::move(handler); }
    void SetOnReload(std::function<void()> handler) { onReload_ = std::move(handler); }

    // Connects the process to the service manager: takes the stop and reload signals (blocked,
    // read from a signalfd) and queues the Start notification when it is due. False when the
    // signals could not be taken.
    bool StartService();

    void NotifyReady() const;
    void NotifyStopping() const;
    void NotifyReloading() const;

private:
    void OnSignals();
    void RestoreSignals();

    bool debug_;
    bool startedByServiceManager_;
    std::function<void()> onStart_;
    std::function<void()> onStop_;
    std::function<void()> onReload_;
    int signalFd_ = -1;
    bool signalsBlocked_ = false;
    sigset_t previousMask_{};
    QObject context_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tolvan
