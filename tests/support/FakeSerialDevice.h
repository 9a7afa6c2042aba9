#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/bridge/SerialDevice.h"

namespace tolvan {

// What the fake serial ports of one test look like: missing COM numbers (open fails with
// 8002), busy ones (8005), line settings texts the device rejects (380), and the COM numbers a
// device holds open right now (a second open of one fails as busy, as with an exclusive tty).
struct FakeSerialPorts {
    std::set<int> absent;
    std::set<int> busy;
    std::set<std::string> rejectedSettings;
    std::set<int> held;
};

// A serial device that keeps the line configuration it was given, collects output in
// `written`, serves `input` and lets the test raise events.
class FakeSerialDevice final : public SerialDevice {
public:
    explicit FakeSerialDevice(FakeSerialPorts& ports) : ports_(ports) {}
    ~FakeSerialDevice() override {
        if (open) {
            ports_.held.erase(heldCom_);
        }
    }
    FakeSerialDevice(const FakeSerialDevice&) = delete;
    FakeSerialDevice& operator=(const FakeSerialDevice&) = delete;

    void SetCommPort(int comNumber) override { commPort = comNumber; }
    void SetDTREnable(bool on) override { dtr = on; }
    void SetHandshaking(int mode) override { handshaking = mode; }
    void SetInBufferSize(int size) override { inBufferSize = size; }
    void SetOutBufferSize(int size) override { outBufferSize = size; }
    void SetRTSEnable(bool on) override { rts = on; }
    void SetSettings(const std::string& lineSettings) override {
        if (ports_.rejectedSettings.count(lineSettings) != 0) {
            throw SerialError(kSerialBadSettings, "invalid line settings '" + lineSettings + "'");
        }
        settings = lineSettings;
    }

    bool PortOpen() const override { return open; }
    void SetPortOpen(bool value) override {
        if (!value) {
            if (open) {
                ports_.held.erase(heldCom_);
            }
            open = false;
            return;
        }
        if (ports_.absent.count(commPort) != 0) {
            throw SerialError(kSerialInvalidPort,
                              "COM" + std::to_string(commPort) + " does not exist");
        }
        if (ports_.busy.count(commPort) != 0 || (!open && ports_.held.count(commPort) != 0)) {
            throw SerialError(kSerialPortOpen, "COM" + std::to_string(commPort) + " is busy");
        }
        if (open) {
            ports_.held.erase(heldCom_);
        }
        heldCom_ = commPort;
        ports_.held.insert(commPort);
        open = true;
        ++opens;
    }

    std::string Input() override { return std::exchange(input, {}); }
    void Output(std::string_view data) override {
        if (vanished) {
            throw SerialError(kSerialDeviceFailed, "the device has gone");
        }
        written.append(data);
    }
    bool Present() const override { return open && !vanished; }
    std::size_t OutBufferCount() const override { return queued; }

    std::string Settings() const override { return settings; }
    int Handshaking() const override { return handshaking; }
    bool DTREnable() const override { return dtr; }
    bool RTSEnable() const override { return rts; }
    void SetBreak(bool on) override { breakOn = on; }
    bool Break() const override { return breakOn; }
    void Purge(bool received, bool unsent) override {
        purged = std::string(received ? "1" : "0") + (unsent ? "1" : "0");
    }
    int ModemLines() const override { return modem; }
    void WatchModemLines(bool on) override { watching = on; }

    // The modem lines change; a watched device tells.
    void SetModem(int lines) {
        modem = lines;
        if (watching) {
            RaiseComm(kCommEvModemLines);
        }
    }

    // Queues received bytes and raises the receive notification.
    void Receive(std::string_view data) {
        input.append(data);
        RaiseComm(kCommEvReceive);
    }
    void Fire(int commEvent) const { RaiseComm(commEvent); }

    int commPort = 0;
    bool open = false;
    int opens = 0;  // how often the line was opened
    bool dtr = false;
    bool rts = false;
    int handshaking = -1;
    int inBufferSize = 0;
    int outBufferSize = 0;
    std::string settings;
    bool vanished = false;   // unplugged: Present false, Output throws 8021
    std::size_t queued = 0;  // bytes the line has not sent yet
    bool breakOn = false;
    int modem = 0;
    bool watching = false;
    std::string purged;  // the last purge: received and unsent, "1" or "0" each
    std::string input;
    std::string written;

private:
    FakeSerialPorts& ports_;
    int heldCom_ = 0;
};

// Makes FakeSerialDevices sharing `ports`; the factory must outlive its devices.
class FakeSerialDeviceFactory final : public SerialDeviceFactory {
public:
    std::unique_ptr<SerialDevice> Create() override {
        auto device = std::make_unique<FakeSerialDevice>(ports);
        made.push_back(device.get());
        return device;
    }

    FakeSerialPorts ports;
    std::vector<FakeSerialDevice*> made;
};

}  // namespace tolvan
