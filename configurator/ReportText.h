#pragma once

#include <QString>
#include <string>
#include <vector>

namespace tolvan {

// How the windows show texts that reports carry in the server's own forms.

// A date-time of a report as "yyyy-MM-dd HH:mm:ss" (the date alone when the report gives no
// time). The server writes its locale's short date and time, which need not be this program's
// locale: its own, the C locale's and the usual numeric forms are recognised; anything else is
// shown as received.
QString IsoDateTime(const std::string& reportText);

// One port's state from a port state report (port, state, end of a lock-out, detail).
struct PortState {
    QString state;   // "listening", "locked-out", "connecting", "connected", "disabled", "failed"
    QString until;   // end of a lock-out, local time
    QString detail;  // device path, remote host and port, or why the port failed
};
PortState PortStateFrom(const std::vector<std::string>& fields);

// A sentence for the operator: "Listening (/dev/ttyUSB0)", "Locked out until 2025-01-02
// 10:00:00 after bad passwords", "Could not open: busy".
QString PortStateSentence(const PortState& state);
// A word or two for the port list: "listening", "locked out", "could not open".
QString PortStateWord(const PortState& state);

}  // namespace tolvan
