#include "server/platform/TermiosSerialDevice.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "server/platform/SerialPortOpener.h"

namespace tolvan {

namespace {

constexpr int kSerialPortAlreadyOpen = 8000;  // setting only valid while closed
constexpr int kSerialPortNotOpen = 8018;      // operation only valid while open
constexpr std::size_t kReadChunk = 64UL * 1024;
constexpr std::size_t kMaxReadPerDrain = 256UL * 1024;  // lets the sockets drain in between
constexpr std::size_t kMinTxQueue = 64UL * 1024;

// Notifiers may be dropped from inside their own signal, so they go through deleteLater.
void Dispose(std::unique_ptr<QSocketNotifier>& notifier) {
    if (notifier) {
        notifier->setEnabled(false);
        notifier->disconnect();
        notifier.release()->deleteLater();
    }
}

bool IsVanished(int err) {
    return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE;
}

}  // namespace

TermiosSerialDevice::TermiosSerialDevice(PathResolver resolvePath)
    : resolvePath_(std::move(resolvePath)) {}

TermiosSerialDevice::~TermiosSerialDevice() {
    Close();
    if (modemTimer_) {
        // The timer's own handler may be what ends the device.
        modemTimer_->disconnect();
        modemTimer_.release()->deleteLater();
    }
}

void TermiosSerialDevice::SetCommPort(int comNumber) {
    if (PortOpen()) {
        throw SerialError(kSerialPortAlreadyOpen, "operation not valid while the port is open");
    }
    if (comNumber < 1 || comNumber > 16) {
        throw SerialError(kSerialInvalidPort, "invalid port number");
    }
    commPort_ = comNumber;
}

void TermiosSerialDevice::SetDTREnable(bool on) {
    dtr_ = on;
    ApplyModemLines();
}

void TermiosSerialDevice::SetHandshaking(int mode) {
    if (mode < 0 || mode > 3) {
        throw SerialError(kSerialBadSettings, "invalid handshaking mode " + std::to_string(mode));
    }
    const int before = handshaking_;
    handshaking_ = mode;
    try {
        ApplyTermios();
    } catch (...) {
        handshaking_ = before;
        throw;
    }
}

void TermiosSerialDevice::SetInBufferSize(int size) {
    if (size < 0) {
        throw SerialError(kSerialBadSettings, "invalid buffer size " + std::to_string(size));
    }
    // The terminal driver's receive buffer has a fixed size; this is kept for reference only.
    inBufferSize_ = size;
}

void TermiosSerialDevice::SetOutBufferSize(int size) {
    if (size < 0) {
        throw SerialError(kSerialBadSettings, "invalid buffer size " + std::to_string(size));
    }
    outBufferSize_ = size;
}

void TermiosSerialDevice::SetRTSEnable(bool on) {
    rts_ = on;
    ApplyModemLines();
}

void TermiosSerialDevice::SetSettings(const std::string& lineSettings) {
    const LineSettings before = settings_;
    settings_ = ParseLineSettings(lineSettings);
    try {
        ApplyTermios();
    } catch (...) {
        settings_ = before;
        throw;
    }
    settingsText_ = lineSettings;
}

void TermiosSerialDevice::SetPortOpen(bool open) {
    if (open) {
        Open();
    } else {
        Close();
    }
}

void TermiosSerialDevice::Open() {
    if (PortOpen()) {
        return;
    }
    if (commPort_ < 1 || commPort_ > 16) {
        throw SerialError(kSerialInvalidPort, "invalid port number");
    }
    const std::string path = resolvePath_ ? resolvePath_(commPort_) : std::string();
    fd_ = SerialPortOpener::Open(path);
    path_ = path;
    hungUp_ = false;
    try {
        ApplyTermios();
        ApplyModemLines();
    } catch (...) {
        Close();
        throw;
    }
    // Start from a clean line: nothing received before the port was opened is delivered.
    ::tcflush(fd_, TCIFLUSH);
    countersSupported_ = ::ioctl(fd_, TIOCGICOUNT, &counters_) == 0;

    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, readNotifier_.get(),
                     [this] { OnReadable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, writeNotifier_.get(),
                     [this] { OnWritable(); });
    StartModemWatch();
}

void TermiosSerialDevice::Close() {
    if (!PortOpen()) {
        return;
    }
    events_.NextGeneration();
    if (modemTimer_) {
        modemTimer_->stop();
    }
    break_ = false;  // the close ends a break
    Dispose(readNotifier_);
    Dispose(writeNotifier_);
    // Unsent output is dropped so that close() does not wait for a stalled line.
    ::tcflush(fd_, TCIOFLUSH);
    // The exclusive flag outlives this descriptor while another one holds the line open, and
    // would keep an unprivileged service from opening it again.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    hungUp_ = false;
    justDrained_ = false;
    rxBuffer_.clear();
    txQueue_.clear();
    txOffset_ = 0;
}

void TermiosSerialDevice::ApplyTermios() {
    if (!PortOpen() || hungUp_) {
        return;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        throw SerialError(kSerialPortOpen, std::strerror(errno));
    }
    ApplyLineSettings(tio, settings_, handshaking_);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        throw SerialError(kSerialPortOpen, std::strerror(errno));
    }
}

void TermiosSerialDevice::ApplyModemLines() {
    if (!PortOpen() || hungUp_) {
        return;
    }
    for (const auto& [line, on] : {std::pair{TIOCM_DTR, dtr_}, std::pair{TIOCM_RTS, rts_}}) {
        int bits = line;
        // Pseudo-terminals have no modem lines.
        if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && errno != ENOTTY &&
            errno != EINVAL) {
            throw SerialError(kSerialPortOpen, std::strerror(errno));
        }
    }
}

std::string TermiosSerialDevice::Input() {
    if (!PortOpen()) {
        return {};
    }
    // Inside the receive notification the line was just read to its end; anything newer
    // raises the next one.
    if (!justDrained_) {
        Drain();
        std::vector<int> errors;
        CheckLineErrors(errors);
        for (const int event : errors) {
            events_.Post([this, event] { RaiseComm(event); });
        }
    }
    justDrained_ = false;
    if (!hungUp_ && readNotifier_) {
        readNotifier_->setEnabled(true);
    }
    return std::exchange(rxBuffer_, {});
}

void TermiosSerialDevice::Output(std::string_view data) {
    if (!PortOpen()) {
        throw SerialError(kSerialPortNotOpen, "operation valid only when the port is open");
    }
    if (hungUp_) {
        throw SerialError(kSerialDeviceFailed,
                          "serial device " + path_ + " is no longer available");
    }
    while (QueuedOutput() == 0 && !data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            break;
        }
        const int err = n < 0 ? errno : EIO;
        MarkHungUp();
        throw SerialError(kSerialDeviceFailed,
                          "serial device " + path_ + " failed: " + std::strerror(err));
    }
    if (data.empty()) {
        return;
    }
    const std::size_t cap = std::max(static_cast<std::size_t>(outBufferSize_), kMinTxQueue);
    const std::size_t room = cap > QueuedOutput() ? cap - QueuedOutput() : 0;
    txQueue_.append(data.substr(0, room));
    if (data.size() > room) {
        events_.Post([this] { RaiseComm(kCommEventTxFull); });
    }
    if (QueuedOutput() > 0 && writeNotifier_) {
        writeNotifier_->setEnabled(true);
    }
}

bool TermiosSerialDevice::Present() const {
    if (!PortOpen() || hungUp_) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    pollfd pfd{fd_, 0, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return false;
    }
    struct stat open {};
    struct stat named {};
    if (::fstat(fd_, &open) != 0 || ::stat(path_.c_str(), &named) != 0) {
        return false;
    }
    return open.st_rdev == named.st_rdev && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

void TermiosSerialDevice::OnReadable() {
    Drain();
    std::vector<int> events;
    CheckLineErrors(events);
    if (!rxBuffer_.empty()) {
        events.push_back(kCommEvReceive);
    }
    for (const int event : events) {
        justDrained_ = event == kCommEvReceive;
        if (!RaiseGuarded(event)) {
            return;
        }
        justDrained_ = false;
    }
    // Reception pauses until someone takes the data with Input(), so that a handler that does
    // not read causes no busy loop. Switching the notifier costs the event loop a wake-up, so
    // it is done only when the data was left.
    if (!rxBuffer_.empty() && readNotifier_) {
        readNotifier_->setEnabled(false);
    }
}

void TermiosSerialDevice::OnWritable() {
    while (QueuedOutput() > 0) {
        const ssize_t n = ::write(fd_, txQueue_.data() + txOffset_, QueuedOutput());
        if (n > 0) {
            txOffset_ += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            MarkHungUp();
            return;
        }
    }
    if (QueuedOutput() == 0) {
        txQueue_.clear();
        txOffset_ = 0;
        writeNotifier_->setEnabled(false);
        RaiseGuarded(kCommEvSend);
    } else if (txOffset_ > txQueue_.size() / 2) {
        txQueue_.erase(0, txOffset_);
        txOffset_ = 0;
    }
}

void TermiosSerialDevice::Drain() {
    if (hungUp_) {
        return;
    }
    if (!readChunk_) {
        readChunk_ = std::make_unique<char[]>(kReadChunk);
    }
    const std::size_t start = rxBuffer_.size();
    while (rxBuffer_.size() - start < kMaxReadPerDrain) {
        // Into a buffer kept for it: growing the string first would clear 64 KiB per read.
        const ssize_t n = ::read(fd_, readChunk_.get(), kReadChunk);
        const int err = errno;
        if (n > 0) {
            rxBuffer_.append(readChunk_.get(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && err == EINTR) {
            continue;
        }
        // A live terminal in raw mode answers EAGAIN when empty; end-of-file means hang-up.
        if (n == 0 || IsVanished(err)) {
            MarkHungUp();
        }
        break;
    }
}

void TermiosSerialDevice::CheckLineErrors(std::vector<int>& events) {
    if (!countersSupported_ || hungUp_) {
        return;
    }
    serial_icounter_struct now{};
    if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
        return;
    }
    const std::pair<int, int> kinds[] = {
        {now.frame - counters_.frame, kCommEventFrame},
        {now.overrun - counters_.overrun, kCommEventOverrun},
        {now.buf_overrun - counters_.buf_overrun, kCommEventRxOver},
        {now.parity - counters_.parity, kCommEventRxParity},
        {now.brk - counters_.brk, kCommEventBreak},
    };
    for (const auto& [delta, event] : kinds) {
        if (delta != 0) {
            events.push_back(event);
        }
    }
    counters_ = now;
}

void TermiosSerialDevice::MarkHungUp() {
    hungUp_ = true;
    if (readNotifier_) {
        readNotifier_->setEnabled(false);
    }
    if (writeNotifier_) {
        writeNotifier_->setEnabled(false);
    }
    txQueue_.clear();
    txOffset_ = 0;
}

void TermiosSerialDevice::SetBreak(bool on) {
    if (!PortOpen() || hungUp_) {
        throw SerialError(kSerialPortNotOpen, "operation valid only when the port is open");
    }
    if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) {
        throw SerialError(kSerialBadSettings, std::strerror(errno));
    }
    break_ = on;
}

void TermiosSerialDevice::Purge(bool received, bool unsent) {
    if (received) {
        rxBuffer_.clear();
    }
    if (unsent) {
        txQueue_.clear();
        txOffset_ = 0;
        if (writeNotifier_) {
            writeNotifier_->setEnabled(false);
        }
    }
    if (PortOpen() && !hungUp_ && (received || unsent)) {
        ::tcflush(fd_, received && unsent ? TCIOFLUSH : (received ? TCIFLUSH : TCOFLUSH));
    }
}

int TermiosSerialDevice::ModemLines() const {
    int bits = 0;
    // Pseudo-terminals and some adapters have no modem lines: they read as all off.
    if (!PortOpen() || hungUp_ || ::ioctl(fd_, TIOCMGET, &bits) != 0) {
        return 0;
    }
    return ((bits & TIOCM_CTS) != 0 ? kModemCts : 0) | ((bits & TIOCM_DSR) != 0 ? kModemDsr : 0) |
           ((bits & TIOCM_RI) != 0 ? kModemRi : 0) | ((bits & TIOCM_CD) != 0 ? kModemDcd : 0);
}

void TermiosSerialDevice::WatchModemLines(bool on) {
    watchModem_ = on;
    if (on) {
        StartModemWatch();
    } else if (modemTimer_) {
        modemTimer_->stop();
    }
}

void TermiosSerialDevice::StartModemWatch() {
    if (!watchModem_ || !PortOpen()) {
        return;
    }
    if (!modemTimer_) {
        modemTimer_ = std::make_unique<QTimer>();
        modemTimer_->setInterval(kModemWatchMs);
        QObject::connect(modemTimer_.get(), &QTimer::timeout, modemTimer_.get(),
                         [this] { OnModemWatch(); });
    }
    lastModem_ = ModemLines();
    if (!modemTimer_->isActive()) {
        modemTimer_->start();
    }
}

void TermiosSerialDevice::OnModemWatch() {
    const int now = ModemLines();
    if (now != lastModem_) {
        lastModem_ = now;
        RaiseGuarded(kCommEvModemLines);
    }
}

bool TermiosSerialDevice::RaiseGuarded(int event) {
    const DeviceEvents::Stamp stamp = events_.Mark();
    RaiseComm(event);
    return stamp.Current();
}

}  // namespace tolvan
