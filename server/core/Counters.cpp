#include "server/core/Counters.h"

#include <limits>
#include <string>

#include "server/core/HostContext.h"

namespace tolvan {

namespace {

constexpr int64_t kWrap = 2000000000;

}  // namespace

void AddToCounter(HostContext& context, int portIndex, int counterIndex, int32_t amount) {
    if (!HasPort(context, portIndex) || counterIndex < 0 || counterIndex >= kCounterCount) {
        context.log.LogError("M2S14 no counter " + std::to_string(counterIndex) +
                             " at port index " + std::to_string(portIndex));
        return;
    }
    int32_t& counter = context.ports[static_cast<size_t>(portIndex)].Counters[counterIndex];
    int64_t total = int64_t{counter} + amount;
    while (total > kWrap) {
        total -= kWrap;
    }
    if (total < std::numeric_limits<int32_t>::min()) {
        total = std::numeric_limits<int32_t>::min();
    }
    counter = static_cast<int32_t>(total);
}

}  // namespace tolvan
