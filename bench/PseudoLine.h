#pragma once

#include <string>

namespace tolvan::bench {

// A pseudo-terminal playing a serial line: the bridge opens SlavePath(), the bench reads and
// writes the master (non-blocking). The bench keeps a slave handle of its own open, so the
// line neither hangs up nor loses its settings while a bridge reopens it.
class PseudoLine {
public:
    PseudoLine();
    ~PseudoLine();
    PseudoLine(const PseudoLine&) = delete;
    PseudoLine& operator=(const PseudoLine&) = delete;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    // Throws away whatever the bridge wrote and the bench has not read.
    void Drain();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tolvan::bench
