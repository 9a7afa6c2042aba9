#include "server/bridge/OutputLimits.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"

namespace tolvan {

namespace {

void Drop(ServerContext& ctx, int index, std::size_t queued, CloseReason reason) {
    const int portIndex = PortIndexOf(index);
    const int connNo = ConnNoOf(index);
    ctx.log.LogError("M2S13 Connection " + Num(connNo) + " of Serial Port " +
                     Num(PortAt(ctx, portIndex).PortNumber) + " is not reading fast enough (" +
                     Num(static_cast<long long>(queued)) + " bytes unread); closing it.");
    CloseConnection(ctx, portIndex, connNo, reason);
}

struct Queue {
    int index;
    std::size_t bytes;
};

// The open data connections of every port with their queues, largest first.
std::vector<Queue> QueuesBySize(ServerContext& ctx, std::size_t& total) {
    std::vector<Queue> queues;
    total = 0;
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        const PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        for (int i = 1; i <= port.UpperSlot(); ++i) {
            const int index = SocketIndex(p, i);
            if (!port.Connections[static_cast<std::size_t>(i)].InUse ||
                !ctx.sckMain.Exists(index)) {
                continue;
            }
            const std::size_t bytes = ctx.sckMain.Get(index).BytesQueued();
            if (bytes > 0) {
                queues.push_back({index, bytes});
                total += bytes;
            }
        }
    }
    std::stable_sort(queues.begin(), queues.end(),
                     [](const Queue& a, const Queue& b) { return a.bytes > b.bytes; });
    return queues;
}

}  // namespace

bool KeepsUpWithOutput(ServerContext& ctx, int index) {
    ConnectionSlot& slot = SlotAt(PortAt(ctx, PortIndexOf(index)), ConnNoOf(index));
    const std::size_t queued = ctx.sckMain.Get(index).BytesQueued();
    const OutputLimits& limits = ctx.settings.Output;
    if (queued >= limits.Hard) {
        Drop(ctx, index, queued, CloseReason::OutputHardLimit);
        return false;
    }
    if (queued <= limits.Soft) {
        slot.OverSoftSince = kZeroDate;
        return true;
    }
    const DateTime now = ctx.clock.NowUtc();
    if (slot.OverSoftSince == kZeroDate) {
        slot.OverSoftSince = now;
        return true;
    }
    if (slot.OverSoftSince + Seconds(ctx.settings.StallSeconds) <= now) {
        Drop(ctx, index, queued, CloseReason::OutputStalled);
        return false;
    }
    return true;
}

// All queues together; called after every read of the line, so it allocates nothing.
static std::size_t TotalQueued(ServerContext& ctx) {
    std::size_t total = 0;
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        const PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        for (int i = 1; i <= port.UpperSlot(); ++i) {
            const int index = SocketIndex(p, i);
            if (port.Connections[static_cast<std::size_t>(i)].InUse && ctx.sckMain.Exists(index)) {
                total += ctx.sckMain.Get(index).BytesQueued();
            }
        }
    }
    return total;
}

void EnforceOutputBudget(ServerContext& ctx) {
    try {
        if (TotalQueued(ctx) <= ctx.settings.Output.Total) {
            return;
        }
        std::size_t total = 0;
        const std::vector<Queue> queues = QueuesBySize(ctx, total);
        for (const Queue& queue : queues) {
            if (total <= ctx.settings.Output.Total) {
                break;
            }
            Drop(ctx, queue.index, queue.bytes, CloseReason::OutputBudget);
            total -= queue.bytes;
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S13 ") + e.what());
    }
}

void CheckOutputQueues(ServerContext& ctx) {
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        const PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        for (int i = 1; i <= port.UpperSlot(); ++i) {
            const int index = SocketIndex(p, i);
            try {
                if (port.Connections[static_cast<std::size_t>(i)].InUse &&
                    ctx.sckMain.Exists(index) &&
                    ctx.sckMain.Get(index).State() == kSocketConnected) {
                    KeepsUpWithOutput(ctx, index);
                }
            } catch (const std::exception& e) {
                ctx.log.LogError(std::string("M2S13 ") + e.what());
            }
        }
    }
    EnforceOutputBudget(ctx);
}

}  // namespace tolvan
