#include "dsp/CounterWaves.h"

#include <cmath>

int wavePeriod(int rate, double f) {
    // Periods of up to a quarter of the int range keep 4 × index exact; a frequency of 0,
    // below 0 or none at all gives the longest.
    constexpr double kLongest = 500000000.0;
    const double p = std::floor(rate / f + 0.5);
    if (!(p >= 1.0)) return f > 0.0 ? 1 : static_cast<int>(kLongest);
    return p > kLongest ? static_cast<int>(kLongest) : static_cast<int>(p);
}
