#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Clients that fall behind are judged by progress, never by pausing the serial line for them
// (a line without handshaking would then lose data for every client). A connection's queue is
// the output its peer has not taken yet; the limits are ctx.settings.Output.

// The rules for one connection, checked after every write to it: closed at once when its queue
// reaches the hard limit, or when the queue has stayed above the soft limit for StallSeconds.
// A reader that falls behind in a burst and catches up in time keeps every byte. Returns
// whether the connection is still open.
bool KeepsUpWithOutput(ServerContext& ctx, int index);

// While all queues together exceed the total budget, closes the connection with the largest.
void EnforceOutputBudget(ServerContext& ctx);

// The timer's round: the per-connection rules for connections that get no new output (a
// stalled client is closed even when the line has gone quiet), then the budget.
void CheckOutputQueues(ServerContext& ctx);

}  // namespace tolvan
