#include "string/LoopSection.h"

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {

// The frequency (Hz) high in the band at which the gain is matched, kept below half of a low
// rate.
constexpr double kHighMatch = 16000.0;

// The root of 2·r / (1 + r²) = s with |r| ≤ 1, for |s| ≤ 1.
double HalfAngleRoot(double s) {
    if (std::fabs(s) < 1e-12) return 0.5 * s;
    return (1.0 - std::sqrt(std::max(0.0, 1.0 - s * s))) / s;
}

// Solves m·x = the last column for a 3 × 4 matrix; false when it is singular.
bool Solve3(double m[3][4], double x[3]) {
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row)
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) pivot = row;
        for (int k = 0; k < 4; ++k) std::swap(m[col][k], m[pivot][k]);
        if (!(std::fabs(m[col][col]) > 1e-300)) return false;
        for (int row = 0; row < 3; ++row) {
            if (row == col) continue;
            const double f = m[row][col] / m[col][col];
            for (int k = col; k < 4; ++k) m[row][k] -= f * m[col][k];
        }
    }
    for (int i = 0; i < 3; ++i) x[i] = m[i][3] / m[i][i];
    return true;
}

} // namespace

void tLoopSection::design(double referenceA1, int rate) {
    const double a = referenceA1;
    b0 = 1.0 - a;
    b1 = 0.0;
    a1 = a;
    if (rate == kReferenceRate || !(a > 0.0 && a < 1.0)) return;

    // With c = cos ω the power gain of the reference is (1 − a)² / (1 + a² − 2·a·c), and that
    // of the section (p + q·c) / (1 − s·c): the pole gives s = 2·a1 / (1 + a1²), the zero −β
    // gives q / p = 2·β / (1 + β²). Three conditions, linear in p, q and s: unit gain at
    // 0 Hz; the same slope of the gain against c there (the loss per pass at the lowest
    // frequencies, where c falls (rate / 44100)² times slower); the reference gain at the
    // high frequency.
    const double n = rateScale(rate);
    const double slope = n * n * 2.0 * a / ((1.0 - a) * (1.0 - a));
    const double high = std::min(kHighMatch, 0.45 * std::min(rate, kReferenceRate));
    const double c = std::cos(2.0 * M_PI * high / rate);
    const double cr = std::cos(2.0 * M_PI * high / kReferenceRate);
    const double g = (1.0 - a) * (1.0 - a) / (1.0 + a * a - 2.0 * a * cr);
    double m[3][4] = {{1.0, 1.0, 1.0, 1.0}, {0.0, 1.0, 1.0 + slope, slope}, {1.0, c, g * c, g}};
    double x[3] = {};
    const bool solved = Solve3(m, x);
    const double p = x[0], q = x[1], s = x[2];
    // Realisable: a pole inside the unit circle and a zero whose gain never falls to 0 (the
    // gain then falls from 1 at 0 Hz all the way up, as the reference's does).
    const double beta = solved && p > 0.0 ? HalfAngleRoot(std::clamp(q / p, -1.0, 1.0)) : -1.0;
    if (std::fabs(s) < 1.0 && beta > -0.99) {
        a1 = HalfAngleRoot(s);
        b0 = (1.0 - a1) / (1.0 + beta);
        b1 = beta * b0;
        return;
    }
    // No such first-order filter: the one-pole with the same loss at the lowest frequencies
    // (1 / |H|² = 1 + k·sin²(ω/2), k = 4·a1 / (1 − a1)² = 2·slope).
    const double r = 1.0 + 1.0 / slope;
    a1 = 1.0 / (r + std::sqrt(r * r - 1.0));
    b0 = 1.0 - a1;
}

double tLoopSection::delay(double omega) const {
    const double pole = std::atan2(a1 * std::sin(omega), 1.0 - a1 * std::cos(omega));
    const double zero = std::atan2(-b1 * std::sin(omega), b0 + b1 * std::cos(omega));
    return (pole - zero) / omega;
}
