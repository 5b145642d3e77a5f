// A one-pole low pass of the reference rate, y = (1 − a)·x + a·y, carried to a higher rate as
// a pole and a zero: y = g·(x + q·x1) + p·y.
//
// At 44100 Hz the one-pole's loss grows as sin²(πf / 44100), flattening towards 22 kHz; a
// one-pole at a higher rate, whatever its pole, loses more at high frequencies. A loop passes
// its filter once per period, so its harmonics follow the loss per pass, not the decay per
// second: the zero restores the flattening. The loss is exact at low frequencies (unity at DC,
// the same curvature) and within a few hundredths of a dB up to about 12 kHz.
#pragma once

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

struct tPoleZero {
    double g = 1.0; // input gain: (1 − p) / (1 + q), unity at DC
    double q = 0.0; // zero
    double p = 0.0; // pole
};

// The pole and zero for a at rate (above the reference rate; a in [0, 1)). At the reference
// rate itself, or for a outside [0, 1), the one-pole moved so that it decays as fast per second.
inline tPoleZero onePoleAtRate(double a, int rate) {
    tPoleZero f;
    if (rate <= kReferenceRate || !(a >= 0.0 && a < 1.0)) {
        f.p = perSampleAtRate(a, rate);
        f.g = 1.0 - f.p;
        return f;
    }
    constexpr double kPi = 3.141592653589793;
    // Loss per pass as 1 / |H|² = 1 + K·sin²(πf / 44100) at the reference rate and
    // (1 + Kp·s) / (1 − u·s), s = sin²(πf / rate), for the pole and zero: equal at low
    // frequencies with Kp = K·ρ − u, ρ = (rate / 44100)², and at 12 kHz through u.
    const double ratio = static_cast<double>(rate) / kReferenceRate;
    const double rho = ratio * ratio;
    const double s44 = std::pow(std::sin(kPi * 12000.0 / kReferenceRate), 2.0);
    const double s = std::pow(std::sin(kPi * 12000.0 / rate), 2.0);
    const double u = std::min((1.0 - rho * s / s44) / s, 0.0);
    const double k = 4.0 * a / ((1.0 - a) * (1.0 - a));
    const double kp = k * rho - u;
    // 4p / (1 − p)² = kp and 4q / (1 + q)² = u, each the root inside the unit circle.
    f.p = kp > 0.0 ? (kp + 2.0 - 2.0 * std::sqrt(kp + 1.0)) / kp : 0.0;
    f.q = u < 0.0 ? (2.0 - u - 2.0 * std::sqrt(1.0 - u)) / u : 0.0;
    f.g = (1.0 - f.p) / (1.0 + f.q);
    return f;
}

// The pole and zero at rate (unity at DC) whose loss 1 / |H|² is loss1 at f1 and loss2 at f2
// (0 < f1 < f2 < rate / 2). False, and f untouched, when no stable filter has that loss.
inline bool poleZeroThrough(int rate, double f1, double loss1, double f2, double loss2,
                            tPoleZero& f) {
    constexpr double kPi = 3.141592653589793;
    const double s1 = std::pow(std::sin(kPi * f1 / rate), 2.0);
    const double s2 = std::pow(std::sin(kPi * f2 / rate), 2.0);
    // 1 / |H|² = (1 + Kp·s) / (1 − u·s) at both points: two linear equations in Kp and u.
    const double det = s1 * s2 * (loss2 - loss1);
    if (!(std::fabs(det) > 1e-12)) return false;
    const double kp = ((loss1 - 1.0) * s2 * loss2 - (loss2 - 1.0) * s1 * loss1) / det;
    const double u = (s1 * (loss2 - 1.0) - s2 * (loss1 - 1.0)) / det;
    if (!(kp > -1.0 && u < 1.0)) return false;
    f.p = kp != 0.0 ? (kp + 2.0 - 2.0 * std::sqrt(kp + 1.0)) / kp : 0.0;
    f.q = u != 0.0 ? (2.0 - u - 2.0 * std::sqrt(1.0 - u)) / u : 0.0;
    f.g = (1.0 - f.p) / (1.0 + f.q);
    return true;
}
