#include "dsp/SineTable.h"

#include <array>
#include <cmath>

namespace {

std::array<double, tSineTable::kSize> BuildSine() {
    std::array<double, tSineTable::kSize> table{};
    for (int i = 0; i < tSineTable::kSize; ++i) table[i] = std::sin(6.283185308 * i / 4096.0);
    return table;
}

} // namespace

const double* tSineTable::table() {
    static const std::array<double, kSize> table = BuildSine();
    return table.data();
}

tSineTable::tSineTable() : mTable(table()) {}

void tSineTable::nextBlock(double* out, int n) {
    const double* sine = mTable;
    const double increment = mIncrement;
    std::int64_t counter = mCounter;
    // While the phase cannot fall below zero its rounding is a plain truncation, and a counter
    // far below 2^53 is carried exactly as a double.
    if (increment >= 0.0 && counter >= 0 && counter < (std::int64_t{1} << 40)) {
        double phase = static_cast<double>(counter);
        int i = 0;
        for (; i + 1 < n; i += 2) {
            const double x0 = phase * increment + 0.5;
            const double x1 = (phase + 1.0) * increment + 0.5;
            out[i] = sine[static_cast<std::int64_t>(x0) & (kSize - 1)];
            out[i + 1] = sine[static_cast<std::int64_t>(x1) & (kSize - 1)];
            phase += 2.0;
        }
        if (i < n) out[i] = sine[static_cast<std::int64_t>(phase * increment + 0.5) & (kSize - 1)];
        mCounter = counter + n;
        return;
    }
    for (int i = 0; i < n; ++i) out[i] = next();
}
