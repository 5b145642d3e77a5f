#include "core/KeyFrequency.h"

#include <array>
#include <cmath>

namespace {

std::array<double, 128> BuildTable() {
    std::array<double, 128> table{};
    const double base = 440.0 / std::pow(2.0, 5.75);
    for (int n = 0; n < 128; ++n) table[n] = base * std::pow(2.0, n * 0.08333333333333333);
    return table;
}

} // namespace

const double* KeyFrequencies() {
    static const std::array<double, 128> table = BuildTable();
    return table.data();
}
