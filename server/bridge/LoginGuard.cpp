#include "server/bridge/LoginGuard.h"

#include <cmath>
#include <string>

#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/core/Counters.h"
#include "server/core/SourceAddress.h"

namespace tolvan {

namespace {

std::string Prefix(const PortRecord& port) {
    return "Serial Port " + Num(port.PortNumber) + ": ";
}

std::string MinutesText(long long minutes) {
    return Num(minutes) + (minutes == 1 ? " minute" : " minutes");
}

std::string SpanText(DateTime span) {
    return MinutesText(std::llround(span * 1440.0));
}

std::string KeyOf(const PortRecord& port, int connNo) {
    return SourceAddressKey(port.Connections.at(static_cast<std::size_t>(connNo)).PeerAddress);
}

void LogUnlogged(ServerContext& ctx, const PortRecord& port, const std::string& address,
                 int count) {
    ctx.log.Information(Prefix(port) + Num(count) + " more invalid passwords from " + address +
                        " within a minute, not logged one by one.");
}

void LogEnded(ServerContext& ctx, const PortRecord& port, const AddressLockouts::Ended& ended) {
    ctx.log.Information(Prefix(port) + "lock-out of " + ended.address + " ended after " +
                        SpanText(ended.until - ended.lockedAt) + " (" + Num(ended.refused) +
                        " connections refused during it).");
}

// A lock-out that ran out is ended (and logged) before the address's next connection or
// failure is judged, so that it starts afresh.
void EndIfOver(ServerContext& ctx, PortRecord& port, const std::string& key, DateTime now) {
    if (auto ended = port.Lockouts.TakeEnded(key, now)) {
        LogEnded(ctx, port, *ended);
    }
}

int WaitingFrom(const PortRecord& port, const std::string& key, int except) {
    int waiting = 0;
    for (int i = 1; i <= port.UpperSlot(); ++i) {
        const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(i)];
        if (i != except && slot.InUse && slot.Authenticated == 0 &&
            SourceAddressKey(slot.PeerAddress) == key) {
            ++waiting;
        }
    }
    return waiting;
}

void GuardListener(ServerContext& ctx, int portIndex, PortRecord& port, DateTime now) {
    if (port.BadPasswordShutdownLength < 1 || ListenerLockedOut(ctx, port)) {
        return;
    }
    const int locked = port.Lockouts.LockedCount(now);
    if (locked <= kMaxLockedAddresses) {
        return;
    }
    const DateTime end = port.Lockouts.EarliestLockEnd(now);
    // CheckListeners reopens at ListenerShutdownTime + BadPasswordShutdownLength.
    port.ListenerShutdownTime = end - Minutes(port.BadPasswordShutdownLength);
    ListenerOf(ctx, portIndex).Close();
    ctx.log.Information(Prefix(port) + Num(locked) +
                        " addresses are locked out at once; the listener is shut for " +
                        SpanText(end - now) + ", until the first of their lock-outs ends.");
}

}  // namespace

bool AdmitToPasswordGate(ServerContext& ctx, int portIndex, int connNo) {
    PortRecord& port = PortAt(ctx, portIndex);
    const std::string key = KeyOf(port, connNo);
    const DateTime now = ctx.clock.NowUtc();
    EndIfOver(ctx, port, key, now);
    if (port.Lockouts.Locked(key, now)) {
        port.Lockouts.CountRefused(key);
        AddToCounter(ctx, portIndex, kCounterInvalidPasswords, 1);
        CloseConnection(ctx, portIndex, connNo, CloseReason::Refused);
        return false;
    }
    if (WaitingFrom(port, key, connNo) >= kMaxWaitingPerAddress) {
        AddToCounter(ctx, portIndex, kCounterInvalidPasswords, 1);
        if (port.Lockouts.FirstRefusalAtCap(key, now)) {
            ctx.log.Information(Prefix(port) + key + " already has " + Num(kMaxWaitingPerAddress) +
                                " connections waiting for a password; further ones are closed "
                                "at once.");
        }
        CloseConnection(ctx, portIndex, connNo, CloseReason::Refused);
        return false;
    }
    port.Lockouts.EndCapSpell(key);
    return true;
}

bool CountWrongPassword(ServerContext& ctx, int portIndex, int connNo, bool overlong) {
    PortRecord& port = PortAt(ctx, portIndex);
    const std::string key = KeyOf(port, connNo);
    const DateTime now = ctx.clock.NowUtc();
    EndIfOver(ctx, port, key, now);
    const AddressLockouts::Failure failure =
        port.Lockouts.AddFailure(key, now, port.MaxPasswordAttemps, port.BadPasswordShutdownLength);
    if (failure.unloggedBefore > 0) {
        LogUnlogged(ctx, port, key, failure.unloggedBefore);
    }
    if (failure.logIt) {
        const std::string of = port.MaxPasswordAttemps >= 1 ? " of " + Num(port.MaxPasswordAttemps)
                                                            : std::string(", no limit");
        ctx.log.Information(
            Prefix(port) + "invalid password from " + SlotAt(port, connNo).PeerAddress +
            " on connection " + Num(connNo) + " (failure " + Num(failure.count) + of +
            (overlong ? "; a line of more than " + Num(kLongestPasswordLine) + " characters"
                      : std::string()) +
            ").");
    }
    if (failure.lockedUntil != kZeroDate) {
        ctx.log.Information(Prefix(port) + key + " locked out for " +
                            MinutesText(port.BadPasswordShutdownLength) + " after " +
                            Num(port.MaxPasswordAttemps) + " invalid passwords.");
    } else if (failure.limitReached) {
        ctx.log.Information(Prefix(port) + key + " gave " + Num(port.MaxPasswordAttemps) +
                            " invalid passwords; its connection is closed (no lock-out: Bad "
                            "Password Lockout Time is 0).");
    }
    return failure.limitReached;
}

void EnforceLockout(ServerContext& ctx, int portIndex, int connNo) {
    PortRecord& port = PortAt(ctx, portIndex);
    const std::string key = KeyOf(port, connNo);
    const DateTime now = ctx.clock.NowUtc();
    CloseConnection(ctx, portIndex, connNo, CloseReason::LockedOut);
    if (!port.Lockouts.Locked(key, now)) {
        return;
    }
    for (int i = 1; i <= port.UpperSlot(); ++i) {
        const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(i)];
        if (slot.InUse && slot.Authenticated == 0 && SourceAddressKey(slot.PeerAddress) == key) {
            CloseConnection(ctx, portIndex, i, CloseReason::LockedOut);
        }
    }
    GuardListener(ctx, portIndex, port, now);
}

void NoteLogin(ServerContext& ctx, int portIndex, int connNo, bool withPassword) {
    PortRecord& port = PortAt(ctx, portIndex);
    const std::string& peer = SlotAt(port, connNo).PeerAddress;
    if (!withPassword) {
        ctx.log.Information(Prefix(port) + "connection " + Num(connNo) + " from " + peer +
                            " admitted (the port has no password).");
        return;
    }
    const std::string key = SourceAddressKey(peer);
    if (const int unlogged = port.Lockouts.Clear(key); unlogged > 0) {
        LogUnlogged(ctx, port, key, unlogged);
    }
    ctx.log.Information(Prefix(port) + "login from " + peer + " on connection " + Num(connNo) +
                        ".");
}

void EndLockouts(ServerContext& ctx, int portIndex) {
    PortRecord& port = PortAt(ctx, portIndex);
    const DateTime now = ctx.clock.NowUtc();
    for (const auto& ended : port.Lockouts.TakeAllEnded(now)) {
        LogEnded(ctx, port, ended);
    }
    for (const auto& unlogged : port.Lockouts.TakeUnlogged(now)) {
        LogUnlogged(ctx, port, unlogged.address, unlogged.count);
    }
}

}  // namespace tolvan
