// Rounding table lookup shared by the table oscillators.
#pragma once

#include <cmath>
#include <cstdint>

// floor(counter × increment + 0.5) wrapped into 0 .. kSize − 1.
template <int kSize> inline int tableIndex(std::int64_t counter, double increment) {
    const double x = static_cast<double>(counter) * increment + 0.5;
    std::int64_t i = static_cast<std::int64_t>(x); // truncates: one too high below zero
    if (x < static_cast<double>(i)) --i;
    if constexpr ((kSize & (kSize - 1)) == 0) {
        return static_cast<int>(i & (kSize - 1));
    } else {
        i %= kSize;
        return static_cast<int>(i < 0 ? i + kSize : i);
    }
}

// Table increment size × f / rate, kept to a number below the table size (a frequency at or
// above the sample rate, or none at all, cannot let the phase product leave 64 bits).
inline double tableIncrement(int size, double f, int rate) {
    const double increment = size * f / rate;
    if (!std::isfinite(increment)) return 0.0;
    return std::fabs(increment) < size ? increment : std::fmod(increment, size);
}
