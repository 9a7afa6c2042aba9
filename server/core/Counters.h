#pragma once

#include <cstdint>

namespace tolvan {

struct HostContext;

// Adds amount to counter counterIndex (0..9) of the port; a total above 2000000000 wraps by
// subtracting 2000000000.
void AddToCounter(HostContext& context, int portIndex, int counterIndex, int32_t amount);

}  // namespace tolvan
