#pragma once

#include <linux/serial.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/bridge/SerialDevice.h"
#include "server/platform/DeviceEvents.h"
#include "server/platform/LineSettings.h"

class QSocketNotifier;
class QTimer;

namespace tolvan {

// A serial port on a POSIX terminal device, driven by the Qt event loop of its thread.
//
// Opening classifies failures: kSerialInvalidPort when the port is absent (the rule
// EnumerateSerialPorts probes with), kSerialPortOpen with the system's text when it exists
// but cannot be used. Received data raises kCommEvReceive once per arrival, from the readiness
// notification itself; when the handler leaves it unread, reception pauses until Input() is
// called, so a handler that does not read causes no busy loop.
// Line errors are raised as the growth of the driver's error counters seen at each read.
// Output() writes what the kernel takes at once and queues the rest in user space, up to
// max(OutBufferSize, 64 KiB) bytes; the surplus is dropped and raises kCommEventTxFull.
// kCommEvSend is raised when that queue has emptied, so a writer that held back may go on.
// A hang-up (adapter unplugged, pty master closed) stops reading; Present() then answers
// false. Closing drops unsent output so that it never blocks.
class TermiosSerialDevice : public SerialDevice {
public:
    using PathResolver = std::function<std::string(int comNumber)>;

    explicit TermiosSerialDevice(PathResolver resolvePath);
    ~TermiosSerialDevice() override;
    TermiosSerialDevice(const TermiosSerialDevice&) = delete;
    TermiosSerialDevice& operator=(const TermiosSerialDevice&) = delete;

    void SetCommPort(int comNumber) override;
    void SetDTREnable(bool on) override;
    void SetHandshaking(int mode) override;
    void SetInBufferSize(int size) override;
    void SetOutBufferSize(int size) override;
    void SetRTSEnable(bool on) override;
    void SetSettings(const std::string& lineSettings) override;

    bool PortOpen() const override { return fd_ >= 0; }
    void SetPortOpen(bool open) override;

    std::string Input() override;
    void Output(std::string_view data) override;
    bool Present() const override;
    std::size_t OutBufferCount() const override { return QueuedOutput(); }

    std::string Settings() const override { return settingsText_; }
    int Handshaking() const override { return handshaking_; }
    bool DTREnable() const override { return dtr_; }
    bool RTSEnable() const override { return rts_; }
    void SetBreak(bool on) override;
    bool Break() const override { return break_; }
    void Purge(bool received, bool unsent) override;
    int ModemLines() const override;
    void WatchModemLines(bool on) override;

    // The device path of the open port (empty while closed).
    const std::string& Path() const { return path_; }
    // Bytes accepted by Output() that wait in user space for the kernel queue.
    std::size_t QueuedOutput() const { return txQueue_.size() - txOffset_; }

private:
    void Open();
    void Close();
    void ApplyTermios();
    void ApplyModemLines();
    void OnReadable();
    void OnWritable();
    // Reads everything waiting into rxBuffer_; notes a hang-up.
    void Drain();
    void CheckLineErrors(std::vector<int>& events);
    void MarkHungUp();
    // Raises queued line-error events; false when the handler closed or destroyed us.
    bool RaiseGuarded(int event);
    void StartModemWatch();
    void OnModemWatch();

    PathResolver resolvePath_;
    int commPort_ = 0;
    LineSettings settings_;
    std::string settingsText_ = "9600,n,8,1";
    bool break_ = false;
    bool watchModem_ = false;
    int lastModem_ = 0;
    std::unique_ptr<QTimer> modemTimer_;
    int handshaking_ = 0;
    int inBufferSize_ = 1024;
    int outBufferSize_ = 512;
    bool dtr_ = false;
    bool rts_ = false;

    int fd_ = -1;
    std::string path_;
    bool hungUp_ = false;
    std::string rxBuffer_;
    std::unique_ptr<char[]> readChunk_;
    bool justDrained_ = false;  // inside the receive notification, right after a full read
    std::string txQueue_;
    std::size_t txOffset_ = 0;
    serial_icounter_struct counters_{};
    bool countersSupported_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    DeviceEvents events_;  // a new generation at every close: stale events are dropped
};

}  // namespace tolvan
