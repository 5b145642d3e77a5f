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
