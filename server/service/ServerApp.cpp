#include "server/service/ServerApp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "server/bridge/BridgeEvents.h"
#include "server/bridge/SupervisionTimer.h"
#include "server/core/ServiceSettings.h"
#include "server/service/DevicePaths.h"
#include "server/service/EventSource.h"
#include "server/service/ServiceIdentity.h"
#include "server/service/ServiceInstaller.h"
#include "server/service/SettingsReload.h"
#include "server/service/StartUp.h"

namespace tolvan {

namespace {

constexpr int kTimerPeriodMs = 1000;
constexpr int kStartWaitWakeMs = 200;

void ShowMessage(const std::string& text) {
    std::cout << text << "\r\n" << std::flush;
}

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

ServerEnvironment ServerEnvironment::FromProcess() {
    ServerEnvironment environment;
    const std::string registry = EnvText("TOLVAN_REGISTRY");
    if (!registry.empty()) {
        environment.registryPath = registry;
    }
    environment.eventLogPath = EnvText("TOLVAN_EVENTLOG");
    std::error_code error;
    environment.executablePath = std::filesystem::read_symlink("/proc/self/exe", error).string();
    environment.startedByServiceManager =
        StartedByServiceManager([](const char* name) { return std::getenv(name); });
    return environment;
}

ServerApp::ServerApp(CommandAction action, ServerEnvironment environment)
    : action_(action),
      environment_(std::move(environment)),
      log_(sink_, clock_),
      store_(environment_.registryPath, [this](const std::string& text) { log_.LogError(text); }),
      serials_(DevicePaths()),
      ctx_(clock_, log_, store_, sockets_, serials_),
      host_(action == CommandAction::Debug, environment_.startedByServiceManager) {
    sink_.Add(std::make_unique<JournalEventLogSink>());
    if (!environment_.eventLogPath.empty()) {
        sink_.Add(std::make_unique<FileEventLogSink>(environment_.eventLogPath));
    }
    if (action_ == CommandAction::Debug) {
        sink_.Add(std::make_unique<StderrEventLogSink>());
    }
}

ServerApp::~ServerApp() = default;

int ServerApp::Run() {
    // Asking for help or the version touches nothing.
    if (action_ == CommandAction::Help) {
        std::cout << HelpText() << "\n" << std::flush;
        return 0;
    }
    if (action_ == CommandAction::Version) {
        std::cout << VersionText() << "\n" << std::flush;
        return 0;
    }
    RegisterEventLogSource(store_, kServiceName);
    switch (action_) {
        case CommandAction::Install:
            return RunInstall();
        case CommandAction::Uninstall:
            return RunUninstall();
        case CommandAction::Usage:
            std::cerr << UsageText() << "\r\n" << std::flush;
            return 2;
        case CommandAction::Help:
        case CommandAction::Version:
            return 0;
        case CommandAction::Debug:
        case CommandAction::Normal:
            break;
    }
    return RunService();
}

int ServerApp::RunInstall() {
    const ServiceInstaller installer(
        InstallerConfig::FromEnvironment(environment_.executablePath, environment_.registryPath));
    if (!environment_.executablePath.empty() && installer.Install()) {
        SetFailureActions(store_, kServiceName);
        ShowMessage(std::string(kDisplayName) + " installed successfully");
        return 0;
    }
    ShowMessage(std::string(kDisplayName) + " failed to install");
    return 1;
}

int ServerApp::RunUninstall() {
    const ServiceInstaller installer(
        InstallerConfig::FromEnvironment(environment_.executablePath, environment_.registryPath));
    if (installer.Uninstall()) {
        ShowMessage(std::string(kDisplayName) + " uninstalled successfully");
        return 0;
    }
    ShowMessage(std::string(kDisplayName) + " failed to uninstall");
    return 1;
}

int ServerApp::RunService() {
    host_.SetOnStart([this] { OnStart(); });
    host_.SetOnStop([this] { OnStop(); });
    host_.SetOnReload([this] { OnReload(); });
    if (!host_.StartService()) {
        log_.LogError("Could not watch for the stop and reload signals");
    }
    if (action_ == CommandAction::Normal && !environment_.startedByServiceManager) {
        std::cerr << WaitingHint() << "\n" << std::flush;
    }

    // Wakes the wait below now and then, so the deadline is seen without spinning.
    QTimer wake;
    wake.start(kStartWaitWakeMs);
    const bool started = WaitForStart(
        clock_, [this] { return ctx_.ServiceStarted || stopRequested_; },
        [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
    wake.stop();
    if (stopRequested_) {
        return 0;
    }
    if (!started) {
        log_.Information("App Ending... Not started from Service Manager");
        return 1;
    }

    ReadSettings();
    // The probe elements always exist and carry no traffic, so they stay unwired.
    ctx_.SerialIO.Ensure(kProbeIndex);
    ctx_.sckMain.Ensure(kProbeIndex);
    WireBridgeEvents(ctx_);
    ctx_.sckConsole = sockets_.Create();
    StartConsole();
    InitialisePorts(ctx_);
    if (stopRequested_) {
        // Stopped while start-up let events run; the stop sequence has run already.
        return 0;
    }
    for (int p = 0; p < static_cast<int>(ctx_.ports.size()); ++p) {
        LogPortStatus(ctx_, p, DevicePaths());
    }

    QObject::connect(&timer_, &QTimer::timeout, [this] {
        OnTimerTick(ctx_);
        console_->OnTimerTick();
    });
    timer_.start(kTimerPeriodMs);
    host_.NotifyReady();
    return QCoreApplication::exec();
}

void ServerApp::ReadSettings() {
    ReadGlobalSettings(ctx_);
}

void ServerApp::StartConsole() {
    // Handles sckConsole's events and replaces ctx_.reports with the console's report senders.
    console_ = std::make_unique<ConsoleServer>(ctx_, DevicePaths());
}

void ServerApp::OnStart() {
    ctx_.ServiceStarted = true;
    log_.Information("Service Starting....");
}

DevicePathOf ServerApp::DevicePaths() const {
    return [this](int comNumber) { return DevicePath(store_, comNumber); };
}

void ServerApp::OnReload() {
    if (!ctx_.PortsReady || stopRequested_) {
        log_.Information("Reload signal ignored: the service is not running");
        return;
    }
    host_.NotifyReloading();
    ReloadSettings(ctx_, DevicePaths());
    host_.NotifyReady();
}

void ServerApp::OnStop() {
    if (stopRequested_) {
        return;
    }
    stopRequested_ = true;
    if (!ctx_.ServiceStarted) {
        // Still waiting for Start: nothing to take down.
        return;
    }
    host_.NotifyStopping();
    StopSequence(ctx_);
    timer_.stop();
    QCoreApplication::exit(0);
}

}  // namespace tolvan
