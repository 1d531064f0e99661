#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace qm::bench {

// The value below which the share `p` of the samples lies; 0 without samples.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

}  // namespace qm::bench
