// Phase delays of the first-order sections a tuned loop is made of, in samples at the angular
// frequency omega (radians per sample, 0 < omega < π), and the allpass that gives a wanted
// delay. A loop that has to keep its pitch at another sample rate sums its sections' delays
// at the note's frequency and sets its fractional delay from what is left.
#pragma once

#include <cmath>

// y = b0·x + a1·y with b0 = 1 − a1 (the one-pole loss filter).
inline double onePolePhaseDelay(double a1, double omega) {
    return std::atan2(a1 * std::sin(omega), 1.0 - a1 * std::cos(omega)) / omega;
}

// y = c·(x − y1) + x1, the interpolating allpass of the delay lines.
inline double allpassPhaseDelay(double c, double omega) {
    return 2.0 * std::atan2(std::sin(omega), c + std::cos(omega)) / omega - 1.0;
}

// The allpass coefficient whose phase delay at omega is delay samples (0 < delay < about
// π / omega − 1); 0 < delay < 2 keeps it within (−1, 1) at low frequencies.
inline double allpassCoefficientFor(double delay, double omega) {
    return std::sin(omega) / std::tan(0.5 * (delay + 1.0) * omega) - std::cos(omega);
}

// y = x + q·x1, the zero of a pole-and-zero filter.
inline double zeroPhaseDelay(double q, double omega) {
    return std::atan2(q * std::sin(omega), 1.0 + q * std::cos(omega)) / omega;
}
