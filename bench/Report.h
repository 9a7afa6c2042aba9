#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"

namespace tolvan::bench {

// Collects the figures of every repetition and prints medians, ranges and paired ratios.
class Report {
public:
    explicit Report(std::vector<std::string> bridges) : bridges_(std::move(bridges)) {}

    void Add(const std::string& bridge, int repetition, const std::map<std::string, double>& m);
    void Fail(const std::string& bridge, int repetition, const std::string& what);

    void Print(std::ostream& out) const;
    void WriteJson(const std::string& path, const BenchOptions& options, double wallSeconds) const;

private:
    struct Summary {
        double median = 0;
        double min = 0;
        double max = 0;
        int count = 0;
    };
    using PerRepetition = std::map<int, double>;

    static Summary Summarise(const PerRepetition& values);
    // Tolvan's figure over the peer's, per repetition where both have one.
    PerRepetition Ratios(const std::string& peer, const std::string& metric) const;
    const PerRepetition* Values(const std::string& bridge, const std::string& metric) const;

    std::vector<std::string> bridges_;
    std::map<std::string, std::map<std::string, PerRepetition>> values_;
    std::vector<std::string> failures_;
};

}  // namespace tolvan::bench
