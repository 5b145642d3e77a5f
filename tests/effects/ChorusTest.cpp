#include "effects/Chorus.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct ChorusFixture : ::testing::Test {
    tEffectsControls controls;
    tChorus unit{controls};
};
} // namespace

TEST_F(ChorusFixture, TapsStepEvery4_14_24_34SamplesAtFrequency55) {
    controls.chorus.frequency.Set(55);
    unit.update();
    EXPECT_EQ(unit.period(), 4);
    int firstStep[tChorus::kTaps] = {0, 0, 0, 0};
    int steps[tChorus::kTaps] = {0, 0, 0, 0};
    for (int n = 1; n <= 340; ++n) {
        double x = 0.0;
        int before[tChorus::kTaps];
        for (int k = 0; k < tChorus::kTaps; ++k) before[k] = unit.distance(k);
        unit.process(&x, 1);
        for (int k = 0; k < tChorus::kTaps; ++k) {
            if (unit.distance(k) != before[k]) {
                ++steps[k];
                if (firstStep[k] == 0) firstStep[k] = n;
            }
        }
    }
    const int expected[tChorus::kTaps] = {4, 14, 24, 34};
    for (int k = 0; k < tChorus::kTaps; ++k) {
        EXPECT_EQ(firstStep[k], expected[k]) << "tap " << k;
        EXPECT_EQ(steps[k], 340 / expected[k]) << "tap " << k;
    }
}

TEST_F(ChorusFixture, TapSweepsAsATriangleUpToTheRegionSize) {
    // Default width 20 gives a region of 320 samples; frequency 55 steps tap 0 every 4.
    controls.chorus.frequency.Set(55);
    unit.update();
    ASSERT_EQ(unit.size(), 320);
    int highest = 0;
    int lowest = 1 << 30;
    bool turnedDown = false;
    bool turnedUp = false;
    for (int n = 0; n < 4 * 700; ++n) {
        double x = 0.0;
        const int before = unit.distance(0);
        unit.process(&x, 1);
        const int d = unit.distance(0);
        highest = std::max(highest, d);
        if (d < before) turnedDown = true;
        if (turnedDown) lowest = std::min(lowest, d);
        if (turnedDown && d > before) turnedUp = true;
    }
    // Up to the region size, down to the lower turning point 0 and up again.
    EXPECT_EQ(highest, 320);
    EXPECT_EQ(lowest, tChorus::kMinDistance);
    EXPECT_TRUE(turnedUp);
}

TEST_F(ChorusFixture, MixesTheTapsPerChannel) {
    controls.chorus.volume.Set(3.0);
    unit.update();
    const double gain = std::exp(1.0) - 1.0;
    // At distance 0 every tap reads the sample just written.
    double mono = 1.0;
    unit.process(&mono, 1);
    EXPECT_NEAR(mono, 1.0 + 0.167 * gain * 4.0, 1e-12);

    tEffectsControls fresh;
    tChorus stereo(fresh);
    fresh.chorus.volume.Set(3.0);
    stereo.setChannels(2);
    stereo.update();
    double frame[2] = {1.0, 5.0}; // the second input value is not used
    stereo.process(frame, 2);
    EXPECT_NEAR(frame[0], 1.0 + 0.33 * gain * 2.0, 1e-12);
    EXPECT_NEAR(frame[1], 1.0 + 0.33 * gain * 2.0, 1e-12);
}

TEST_F(ChorusFixture, WidthFromAPatchIsLimitedToTheRegion) {
    unit.setParams(Record("150 55 5000 1").data());
    EXPECT_DOUBLE_EQ(controls.chorus.width.Value(), 5000.0); // the widget keeps what was read
    unit.update();
    EXPECT_EQ(unit.size(), tChorus::kRegion);
    tTestNoise noise;
    std::vector<double> block(256);
    for (int b = 0; b < 600; ++b) {
        for (auto& x : block) x = noise.next();
        unit.process(block.data(), 256);
    }
    for (int k = 0; k < tChorus::kTaps; ++k) EXPECT_LT(unit.readIndex(k), tChorus::kRegion);

    // A narrower width afterwards: indices beyond the new size return to 0 at their next step.
    unit.setParams(Record("150 55 0 1").data());
    unit.update();
    EXPECT_EQ(unit.size(), 16);
    for (int b = 0; b < 4; ++b) unit.process(block.data(), 256);
    for (int k = 0; k < tChorus::kTaps; ++k) EXPECT_LT(unit.readIndex(k), 16);
    EXPECT_LT(unit.writeIndex(), 16);
    EXPECT_TRUE(std::isfinite(Peak(block)));

    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 5), (std::vector<int>{150, 55, 0, 1, -1}));
}
