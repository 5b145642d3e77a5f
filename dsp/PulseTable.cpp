#include "dsp/PulseTable.h"

#include <array>

namespace {

using tPulse = std::array<double, tPulseTable::kSize>;

tPulse BuildBipolar() {
    tPulse table{};
    for (int i = 0; i < tPulseTable::kSize; ++i)
        table[i] = i < 203 ? 2.0 * i / 203.0 - 1.0 + 0.2 : 1.0 - 2.0 * (i - 203) / 1843.0 + 0.2;
    return table;
}

tPulse BuildUnipolar() {
    tPulse table{};
    for (int i = 0; i < tPulseTable::kSize; ++i)
        table[i] = i < 203 ? i / 203.0 : 1.0 - (i - 203) / 1843.0;
    return table;
}

} // namespace

const double* tPulseTable::table(tShape shape) {
    static const tPulse bipolar = BuildBipolar();
    static const tPulse unipolar = BuildUnipolar();
    return shape == Unipolar ? unipolar.data() : bipolar.data();
}

tPulseTable::tPulseTable(tShape shape) : mTable(table(shape)), mShape(shape) {}
