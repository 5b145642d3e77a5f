#include "dsp/NoiseSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

namespace {

// Runs f on a thread of its own, whose generator starts from the unseeded sequence.
template <class tBody> void OnFreshThread(tBody body) {
    std::thread thread(body);
    thread.join();
}

double R(int v) {
    return (v - 1073741823) * 9.313225754828403e-10;
}

} // namespace

TEST(WhiteNoise, FirstValueTwiceThenEachValueThreeTimes) {
    OnFreshThread([] {
        tRandom reference;
        tWhiteNoise noise;
        noise.setup(2.0, 0.5);
        std::vector<double> values;
        for (int i = 0; i < 2 + 3 * 4; ++i) values.push_back(noise.next());
        EXPECT_EQ(values[0], R(reference.next()) * 0.5);
        EXPECT_EQ(values[1], values[0]);
        for (int group = 0; group < 4; ++group) {
            const double v = R(reference.next()) * 0.5;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(values[2 + 3 * group + k], v) << group;
        }
    });
}

TEST(PinkNoise, RunsInFromTheSixtiethDrawAndStaysBounded) {
    OnFreshThread([] {
        tRandom reference;
        double s[6] = {};
        const double pole[6] = {0.997, 0.985, 0.95, 0.85, 0.62, 0.25};
        const double gain[6] = {0.029591, 0.032534, 0.048056, 0.090579, 0.10899, 0.255784};
        auto step = [&] {
            const double w = R(reference.next());
            double sum = 0.0;
            for (int i = 0; i < 6; ++i) {
                s[i] = pole[i] * s[i] + gain[i] * w;
                sum += s[i];
            }
            return sum;
        };
        for (int i = 0; i < 60; ++i) step();
        tPinkNoise pink;
        pink.reset();
        for (int i = 0; i < 1000; ++i) {
            const double expected = step();
            ASSERT_NEAR(pink.next(), expected, 1e-15) << i;
        }
        double peak = 0.0;
        for (int i = 0; i < 200000; ++i) peak = std::max(peak, std::fabs(pink.next()));
        EXPECT_LT(peak, 4.0);
        EXPECT_GT(peak, 0.3);
    });
}

TEST(RandomRamp, StraightLinesBetweenTargets) {
    OnFreshThread([] {
        tRandom reference;
        tRandomRamp ramp;
        ramp.setup(44100, 11025.0, 2.0); // period 4
        EXPECT_EQ(ramp.period(), 4);
        const double first = R(reference.next()) * 2.0;
        for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(ramp.next(), first * (k + 1) / 4);
        EXPECT_EQ(ramp.next(), first); // the target is reached and a new one drawn
        const double second = R(reference.next()) * 2.0;
        EXPECT_DOUBLE_EQ(ramp.next(), first + (second - first) * 1 / 4);
        ramp.restart();
        EXPECT_DOUBLE_EQ(ramp.next(), second / 4);

        ramp.setup(44100, 0.0, 1.0); // no frequency: the longest period, still finite
        EXPECT_GE(ramp.period(), 1);
        EXPECT_TRUE(std::isfinite(ramp.next()));
        ramp.setup(44100, 1e9, 1.0);
        EXPECT_EQ(ramp.period(), 1);
    });
}
