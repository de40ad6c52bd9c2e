#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Order statistics of a set of samples: nearest-rank percentiles (p from 0 to 100).
class TSampleStatistics {
public:
    explicit TSampleStatistics(std::vector<double> samples) : sorted_(std::move(samples)) {
        std::sort(sorted_.begin(), sorted_.end());
    }

    std::size_t Count() const { return sorted_.size(); }
    double Percentile(double p) const {
        if (sorted_.empty()) return 0;
        // Nearest rank: the smallest sample with at least p % of the samples at or below it.
        const double rank = std::ceil(p / 100.0 * static_cast<double>(sorted_.size()));
        const std::size_t index = rank <= 1 ? 0 : static_cast<std::size_t>(rank) - 1;
        return sorted_[std::min(index, sorted_.size() - 1)];
    }
    double Median() const { return Percentile(50); }
    double Max() const { return sorted_.empty() ? 0 : sorted_.back(); }
    double Sum() const {
        double s = 0;
        for (double v : sorted_) s += v;
        return s;
    }

private:
    std::vector<double> sorted_;
};
