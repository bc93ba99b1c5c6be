// The arithmetic every benchmark prints its figures with.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace qm::bench {

inline double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The upper median: a figure some run really took, which an even count would not give otherwise.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace qm::bench
