// A one-pole of 44100 Hz carried to a higher rate as a pole and a zero keeps its loss per pass.
#include "dsp/OnePoleAtRate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace {

// |H|² in dB of y = g·(x + q·x1) + p·y at f Hz.
double LossDb(const tPoleZero& f, double hz, int rate) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / rate);
    return 20.0 * std::log10(std::abs(f.g * (1.0 + f.q * z1) / (1.0 - f.p * z1)));
}

} // namespace

TEST(OnePoleAtRate, LossPerPassStaysThatOf44100HzUpTo12kHz) {
    for (double a : {0.0, 0.205, 0.42, 0.7, 0.95}) {
        const tPoleZero reference{1.0 - a, 0.0, a};
        for (int rate : {48000, 96000, 192000}) {
            const tPoleZero f = onePoleAtRate(a, rate);
            EXPECT_NEAR(f.g * (1.0 + f.q) / (1.0 - f.p), 1.0, 1e-12); // unity at DC
            for (double hz : {100.0, 1000.0, 4000.0, 8000.0, 12000.0})
                EXPECT_NEAR(LossDb(f, hz, rate), LossDb(reference, hz, 44100), 0.05)
                    << a << " " << rate << " " << hz;
        }
    }
    // Through two given points, here a gentle lift of the highest octave.
    tPoleZero f;
    ASSERT_TRUE(poleZeroThrough(96000, 5000.0, 0.9, 14000.0, 0.6, f));
    EXPECT_NEAR(LossDb(f, 5000.0, 96000), -10.0 * std::log10(0.9), 1e-9);
    EXPECT_NEAR(LossDb(f, 14000.0, 96000), -10.0 * std::log10(0.6), 1e-9);
    EXPECT_LT(std::fabs(f.p), 1.0);
    EXPECT_LT(std::fabs(f.q), 1.0);
}
