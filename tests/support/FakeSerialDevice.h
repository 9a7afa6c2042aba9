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
// 8002), busy ones (8005) and line settings texts the device rejects (380).
struct FakeSerialPorts {
    std::set<int> absent;
    std::set<int> busy;
    std::set<std::string> rejectedSettings;
};

// A serial device that records its settings ("CommPort 5", "Settings 9600,n,8,1",
// "PortOpen 1"), collects output in `written`, serves `input` and lets the test raise events.
class FakeSerialDevice final : public SerialDevice {
public:
    explicit FakeSerialDevice(const FakeSerialPorts& ports) : ports_(ports) {}

    void SetCommPort(int comNumber) override {
        commPort = comNumber;
        calls.push_back("CommPort " + std::to_string(comNumber));
    }
    void SetDTREnable(bool on) override {
        dtr = on;
        calls.push_back(std::string("DTREnable ") + (on ? "1" : "0"));
    }
    void SetHandshaking(int mode) override {
        handshaking = mode;
        calls.push_back("Handshaking " + std::to_string(mode));
    }
    void SetInBufferSize(int size) override {
        calls.push_back("InBufferSize " + std::to_string(size));
    }
    void SetOutBufferSize(int size) override {
        calls.push_back("OutBufferSize " + std::to_string(size));
    }
    void SetRTSEnable(bool on) override {
        rts = on;
        calls.push_back(std::string("RTSEnable ") + (on ? "1" : "0"));
    }
    void SetSettings(const std::string& lineSettings) override {
        if (ports_.rejectedSettings.count(lineSettings) != 0) {
            throw SerialError(kSerialBadSettings, "invalid line settings '" + lineSettings + "'");
        }
        settings = lineSettings;
        calls.push_back("Settings " + lineSettings);
    }

    bool PortOpen() const override { return open; }
    void SetPortOpen(bool value) override {
        calls.push_back(std::string("PortOpen ") + (value ? "1" : "0"));
        if (value && ports_.absent.count(commPort) != 0) {
            throw SerialError(kSerialInvalidPort,
                              "COM" + std::to_string(commPort) + " does not exist");
        }
        if (value && ports_.busy.count(commPort) != 0) {
            throw SerialError(kSerialPortOpen, "COM" + std::to_string(commPort) + " is busy");
        }
        open = value;
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
        calls.push_back(std::string("Purge ") + (received ? "1" : "0") + (unsent ? "1" : "0"));
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
    bool vanished = false;   // unplugged: Present false, Output throws 8021
    std::size_t queued = 0;  // bytes the line has not sent yet
    std::string settings;
    int handshaking = 0;
    bool dtr = false;
    bool rts = false;
    bool breakOn = false;
    int modem = 0;
    bool watching = false;
    std::string input;
    std::string written;
    std::vector<std::string> calls;

private:
    const FakeSerialPorts& ports_;
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
