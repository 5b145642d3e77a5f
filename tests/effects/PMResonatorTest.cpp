#include "effects/PMResonator.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct PMResonatorFixture : ::testing::Test {
    tEffectsControls controls;
    tPMResonator unit{controls};
    tPMResonatorControls& group = controls.pmResonator;
};
} // namespace

TEST_F(PMResonatorFixture, FrequencyLawAndLineLengths) {
    EXPECT_NEAR(tPMResonator::FrequencyFor(0.25), 49.5, 0.05);
    EXPECT_NEAR(tPMResonator::FrequencyFor(0.0), 13.06, 0.01);
    EXPECT_NEAR(tPMResonator::FrequencyFor(1.0), 2700.0, 2.0);
    unit.update();
    EXPECT_NEAR(unit.core().frequency(), 49.5, 0.05);
    EXPECT_EQ(unit.core().length1(), 891); // 44100 / 49.5 rounded
    EXPECT_EQ(unit.core().length2(), 445); // ratio 0.5 from the defaults
    // feedfreq sets the loop filter's input coefficient directly.
    EXPECT_NEAR(unit.core().lowpass().b0(), 0.44, 1e-12);
    EXPECT_NEAR(unit.core().feed(), 0.6 * 0.5102040816326531, 1e-15);
    EXPECT_NEAR(unit.core().outGain(), std::exp(0.9) - 1.0, 1e-15);
}

TEST_F(PMResonatorFixture, ScaleX20IsLimitedTo48000AndReachesLine2OneUpdateLater) {
    group.frequency.Set(0.0);
    group.resoMode.Set(1.0);
    group.scaleX20.Set(1);
    unit.update();
    EXPECT_EQ(unit.core().length1(), 3378);
    EXPECT_EQ(unit.core().length2(), 1689); // still the old ratio 0.5
    unit.update();
    EXPECT_EQ(unit.core().length2(), tPMCore::kLineSize);
    std::vector<double> block(256, 0.1);
    for (int b = 0; b < 400; ++b) unit.process(block.data(), 256);
    EXPECT_TRUE(std::isfinite(Peak(block)));
}

TEST_F(PMResonatorFixture, StereoOutputComesFromTheFirstChannelOnly) {
    auto run = [](double right) {
        tEffectsControls c;
        tPMResonator u(c);
        u.setChannels(2);
        u.update();
        tTestNoise noise;
        std::vector<double> added;
        for (int b = 0; b < 40; ++b) {
            double block[256];
            for (int i = 0; i < 256; i += 2) {
                block[i] = 0.3 * noise.next();
                block[i + 1] = right;
            }
            double in[256];
            std::copy(block, block + 256, in);
            u.process(block, 256);
            for (int i = 0; i < 256; i += 2) {
                EXPECT_NEAR(block[i] - in[i], block[i + 1] - in[i + 1], 1e-12);
                added.push_back(block[i] - in[i]);
            }
        }
        return added;
    };
    const auto a = run(0.0);
    const auto b = run(0.9);
    EXPECT_EQ(a, b);
    EXPECT_GT(Peak(a), 1e-3);
}

TEST_F(PMResonatorFixture, EfxOnlyReplacesTheSignal) {
    group.efxOnly.Set(1);
    unit.update();
    std::vector<double> x(2048, 0.0), y(2048, 0.25);
    unit.process(x.data(), 2048);
    tEffectsControls c;
    tPMResonator other(c);
    c.pmResonator.efxOnly.Set(1);
    other.update();
    other.process(y.data(), 2048);
    // The input modulates the excitation, so the results differ, but neither holds the input.
    EXPECT_NE(x, y);
    EXPECT_NE(y[100], 0.25);
}

TEST_F(PMResonatorFixture, LineLengthZeroKeepsItsPositionAtZero) {
    group.resoMode.SetRaw(0.0); // ratio 0.0001: line 2 rounds to no samples
    unit.update();
    unit.update();
    EXPECT_EQ(unit.core().length2(), 0);
    std::vector<double> block(512, 0.5);
    unit.process(block.data(), 512);
    EXPECT_EQ(unit.core().position2(), 0);
    EXPECT_TRUE(std::isfinite(Peak(block)));

    // A very high frequency from a patch text empties line 1 as well.
    group.frequency.SetRaw(100.0);
    unit.update();
    EXPECT_EQ(unit.core().length1(), 0);
    unit.process(block.data(), 512);
    EXPECT_TRUE(std::isfinite(Peak(block)));
}

TEST_F(PMResonatorFixture, RecoversAfterTheLoopOverflows) {
    unit.update();
    std::vector<double> block(256, 0.0);
    block[3] = 1e200; // y2^5 overflows once this value leaves line 2
    block[4] = std::nan("");
    for (int b = 0; b < 8; ++b) {
        unit.process(block.data(), 256);
        std::fill(block.begin(), block.end(), 0.0);
    }
    tTestNoise noise;
    for (int b = 0; b < 100; ++b) {
        for (auto& x : block) x = 0.2 * noise.next();
        unit.process(block.data(), 256);
    }
    EXPECT_TRUE(std::isfinite(Peak(block)));
    EXPECT_GT(Peak(block), 0.0);
}

TEST_F(PMResonatorFixture, RecordSetsTheWidgetsInOrder) {
    unit.setParams(Record("388 600 430 0 500 100 576 0 1").data());
    EXPECT_DOUBLE_EQ(group.frequency.Value(), 0.388);
    EXPECT_DOUBLE_EQ(group.feed.Value(), 0.6);
    EXPECT_DOUBLE_EQ(group.feedFreq.Value(), 0.43);
    EXPECT_FALSE(group.scaleX20.IsOn());
    EXPECT_DOUBLE_EQ(group.resoMode.Value(), 0.5);
    EXPECT_DOUBLE_EQ(group.efxVolume.Value(), 1.0);
    EXPECT_DOUBLE_EQ(group.intensity.Value(), 0.576);
    EXPECT_FALSE(group.efxOnly.IsOn());
    EXPECT_TRUE(group.on.IsOn());
    unit.update();
    EXPECT_NEAR(unit.core().frequency(), 103.3, 0.1);
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 10),
              (std::vector<int>{388, 600, 430, 0, 500, 100, 576, 0, 1, -1}));
}
