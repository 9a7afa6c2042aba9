#pragma once

#include <cstddef>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// The per-address rules of the password gate of a server-mode port. Failures count against
// the connection's source address (SourceAddressKey) across all connections of the port, in
// the port's Lockouts; every decision is written to the event log.

// One password attempt is one line of at most this many characters; a longer line is one wrong
// attempt and the rest of it is dropped.
inline constexpr std::size_t kLongestPasswordLine = 256;
// At most this many connections of one address may wait for a password on a port.
inline constexpr int kMaxWaitingPerAddress = 2;
// More addresses than this locked out at once on one port shut its listener (a spread attack).
inline constexpr int kMaxLockedAddresses = 8;

// A new connection reaches the password gate. False when it was closed at once without a
// prompt: its address is locked out, or already has kMaxWaitingPerAddress connections waiting.
bool AdmitToPasswordGate(ServerContext& ctx, int portIndex, int connNo);

// A wrong password on the connection (overlong: a line too long to be one), counted against
// its address. True when the address has reached MaxPasswordAttemps; the caller then calls
// EnforceLockout.
bool CountWrongPassword(ServerContext& ctx, int portIndex, int connNo, bool overlong);

// Closes the connection, and when its address is now locked out every other connection of
// that address still waiting for a password; shuts the listener when more than
// kMaxLockedAddresses addresses are locked out at once.
void EnforceLockout(ServerContext& ctx, int portIndex, int connNo);

// The connection has logged in; with a password that clears its address's count.
void NoteLogin(ServerContext& ctx, int portIndex, int connNo, bool withPassword);

// Ends and logs the lock-outs of the port that are over, and sums up failures that were not
// logged one by one. Run by the periodic listener check.
void EndLockouts(ServerContext& ctx, int portIndex);

}  // namespace tolvan
