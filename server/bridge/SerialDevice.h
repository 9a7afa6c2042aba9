#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvan {

// Error numbers of the serial device that callers tell apart; others are only logged.
inline constexpr int kSerialInvalidPort = 8002;   // the port does not exist
inline constexpr int kSerialPortOpen = 8005;      // the port is busy or cannot be opened
inline constexpr int kSerialDeviceFailed = 8021;  // the device failed during an access
inline constexpr int kSerialBadSettings = 380;    // a property value the device rejects

// Notification codes.
enum CommEvent : int {
    kCommEvSend = 1,  // the transmit queue has emptied
    kCommEvReceive = 2,
    kCommEvModemLines = 3,  // a watched modem line (CTS, DSR, RI, DCD) changed
    kCommEventBreak = 1001,
    kCommEventFrame = 1004,
    kCommEventOverrun = 1006,
    kCommEventRxOver = 1008,
    kCommEventRxParity = 1009,
    kCommEventTxFull = 1010,
};

// Modem status line bits, as the telnet COM-PORT-OPTION carries them.
inline constexpr int kModemCts = 0x10;
inline constexpr int kModemDsr = 0x20;
inline constexpr int kModemRi = 0x40;
inline constexpr int kModemDcd = 0x80;
inline constexpr int kModemWatchMs = 100;

class SerialError : public std::runtime_error {
public:
    SerialError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }

private:
    int number_;
};

// One serial port. Setters apply while the port is closed and take effect at the next open
// (DTR/RTS also at once while open). Failures throw SerialError.
class SerialDevice {
public:
    using CommHandler = std::function<void(int commEvent)>;

    virtual ~SerialDevice() = default;

    virtual void SetCommPort(int comNumber) = 0;
    virtual void SetDTREnable(bool on) = 0;
    virtual void SetHandshaking(int mode) = 0;  // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    virtual void SetInBufferSize(int size) = 0;
    virtual void SetOutBufferSize(int size) = 0;
    virtual void SetRTSEnable(bool on) = 0;
    virtual void SetSettings(const std::string& lineSettings) = 0;  // "9600,n,8,1"

    virtual bool PortOpen() const = 0;
    // Opening fails with kSerialInvalidPort when the port does not exist, with another
    // number when it exists but cannot be used.
    virtual void SetPortOpen(bool open) = 0;

    // Everything received and not yet read; empties the receive buffer.
    virtual std::string Input() = 0;
    // Queues bytes for transmission; kSerialDeviceFailed when the device is gone.
    virtual void Output(std::string_view data) = 0;
    // Bytes accepted by Output() and still waiting for the line.
    virtual std::size_t OutBufferCount() const { return 0; }
    // The device still answers (the serial-state query on the open handle).
    virtual bool Present() const = 0;

    // The line as it runs: the values last set.
    virtual std::string Settings() const = 0;
    virtual int Handshaking() const = 0;
    virtual bool DTREnable() const = 0;
    virtual bool RTSEnable() const = 0;
    // Holds the transmit line in the break state while on; ends with the port's close.
    virtual void SetBreak(bool on) = 0;
    virtual bool Break() const = 0;
    // Drops what was received and not yet read, and what waits to be sent.
    virtual void Purge(bool received, bool unsent) = 0;
    // The modem status lines: kModemCts, kModemDsr, kModemRi, kModemDcd (0 without them).
    virtual int ModemLines() const = 0;
    // While on and the port is open, a change of ModemLines() raises kCommEvModemLines; the
    // lines are looked at every kModemWatchMs, so changes come at most that often.
    virtual void WatchModemLines(bool on) = 0;

    // Notifications are delivered from the event loop, never from inside a call above.
    void SetOnComm(CommHandler handler) { onComm_ = std::move(handler); }

protected:
    void RaiseComm(int event) const {
        if (onComm_) {
            onComm_(event);
        }
    }

private:
    CommHandler onComm_;
};

// Makes serial devices; the path of COM n comes from the factory's own configuration.
class SerialDeviceFactory {
public:
    virtual ~SerialDeviceFactory() = default;
    virtual std::unique_ptr<SerialDevice> Create() = 0;
};

}  // namespace tolvan
