#pragma once

#include <string>
#include <vector>

namespace tolvan {

// Every string of `length` decimal digits once, in the fewest characters (10^length +
// length - 1): one line that holds every PIN of that length.
inline std::string DeBruijnDigits(int length) {
    const int k = 10;
    std::string sequence;
    std::vector<int> a(static_cast<std::size_t>(k * length), 0);
    auto step = [&](auto& self, int t, int period) -> void {
        if (t > length) {
            if (length % period == 0) {
                for (int j = 1; j <= period; ++j) {
                    sequence += static_cast<char>('0' + a[static_cast<std::size_t>(j)]);
                }
            }
            return;
        }
        a[static_cast<std::size_t>(t)] = a[static_cast<std::size_t>(t - period)];
        self(self, t + 1, period);
        for (int j = a[static_cast<std::size_t>(t - period)] + 1; j < k; ++j) {
            a[static_cast<std::size_t>(t)] = j;
            self(self, t + 1, t);
        }
    };
    step(step, 1, 1);
    return sequence + sequence.substr(0, static_cast<std::size_t>(length - 1));
}

}  // namespace tolvan
