#include "server/platform/LineSettings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>
#include <vector>

#include "console_protocol/TextForms.h"
#include "server/bridge/SerialDevice.h"

namespace tolvan {

namespace {

constexpr std::array<std::pair<long, speed_t>, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(console::Trim(std::string_view(text).substr(start, comma - start)));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool ParseNumber(const std::string& field, long& value) {
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value);
    return !field.empty() && result.ec == std::errc() && result.ptr == end;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
    const SerialError bad(kSerialBadSettings, "invalid line settings '" + text + "'");
    const std::vector<std::string> fields = SplitFields(text);
    if (fields.size() != 4) {
        throw bad;
    }
    LineSettings settings;

    long baud = 0;
    if (!ParseNumber(fields[0], baud) || baud <= 0) {
        throw bad;
    }
    const auto speed = std::find_if(kSpeeds.begin(), kSpeeds.end(),
                                    [baud](const auto& entry) { return entry.first == baud; });
    if (speed == kSpeeds.end()) {
        throw bad;
    }
    settings.Speed = speed->second;

    if (fields[1].size() != 1) {
        throw bad;
    }
    settings.Parity = console::Lower(fields[1][0]);
    if (std::string_view("neoms").find(settings.Parity) == std::string_view::npos) {
        throw bad;
    }

    long dataBits = 0;
    if (!ParseNumber(fields[2], dataBits) || dataBits < 5 || dataBits > 8) {
        throw bad;
    }
    settings.DataBits = static_cast<int>(dataBits);

    if (fields[3] == "1") {
        settings.TwoStopBits = false;
    } else if (fields[3] == "2" || fields[3] == "1.5") {
        settings.TwoStopBits = true;
    } else {
        throw bad;
    }
    return settings;
}

void ApplyLineSettings(termios& tio, const LineSettings& settings, int handshaking) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, settings.Speed);
    cfsetospeed(&tio, settings.Speed);

    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (settings.DataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    switch (settings.Parity) {
        case 'e':
            tio.c_cflag |= PARENB;
            break;
        case 'o':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'm':
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 's':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (settings.Parity != 'n') {
        // Check received parity; a bad character is counted by the driver and passed on.
        tio.c_iflag |= INPCK;
    }
    if (settings.TwoStopBits) {
        tio.c_cflag |= CSTOPB;
    }

    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (handshaking == 1 || handshaking == 3) {
        tio.c_iflag |= IXON | IXOFF;
    }
    if (handshaking == 2 || handshaking == 3) {
        tio.c_cflag |= CRTSCTS;
    }

    // Non-blocking reads answer EAGAIN when nothing is waiting (VMIN 0 would answer 0).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

}  // namespace tolvan
