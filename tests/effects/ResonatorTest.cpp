#include "effects/Resonator.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct ResonatorFixture : ::testing::Test {
    tEffectsControls controls;
    tResonator unit{controls};
    tResonatorControls& group = controls.resonator;

    void SetUp() override {
        group.volume.SetRaw(0.5);
        group.frequencyX2.SetRaw(1);
        group.stereo.SetRaw(1);
    }
};
} // namespace

TEST_F(ResonatorFixture, RecordsOfSixToNineValues) {
    unit.setParams(Record("5 65 83 77 65 1 139 0").data());
    EXPECT_DOUBLE_EQ(group.bands[0].Value(), 0.05);
    EXPECT_DOUBLE_EQ(group.bands[1].Value(), 0.65);
    EXPECT_DOUBLE_EQ(group.bands[2].Value(), 0.83);
    EXPECT_DOUBLE_EQ(group.bands[3].Value(), 0.77);
    EXPECT_DOUBLE_EQ(group.bands[4].Value(), 0.65);
    EXPECT_TRUE(group.on.IsOn());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 1.39);
    EXPECT_FALSE(group.frequencyX2.IsOn());
    EXPECT_FALSE(group.stereo.IsOn());

    SetUp();
    unit.setParams(Record("0 0 0 0 100 0 150").data());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 1.5);
    EXPECT_DOUBLE_EQ(group.bands[4].Value(), 1.0);
    EXPECT_FALSE(group.on.IsOn());
    EXPECT_FALSE(group.frequencyX2.IsOn());
    EXPECT_FALSE(group.stereo.IsOn());

    SetUp();
    unit.setParams(Record("10 20 30 40 50 1").data());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 0.5); // unchanged
    EXPECT_DOUBLE_EQ(group.bands[2].Value(), 0.3);
    EXPECT_FALSE(group.frequencyX2.IsOn());
    EXPECT_FALSE(group.stereo.IsOn());

    SetUp();
    unit.setParams(Record("10 20 30 40 50 1 120 1 1").data());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 1.2);
    EXPECT_TRUE(group.frequencyX2.IsOn());
    EXPECT_TRUE(group.stereo.IsOn());
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 10),
              (std::vector<int>{10, 20, 30, 40, 50, 1, 120, 1, 1, -1}));

    // A negative doubling value clears both switches.
    SetUp();
    unit.setParams(Record("10 20 30 40 50 1 120 -4 1").data());
    EXPECT_FALSE(group.frequencyX2.IsOn());
    EXPECT_FALSE(group.stereo.IsOn());

    // A damaged record of three values sets those and nothing else.
    SetUp();
    unit.setParams(Record("1 2 3").data());
    EXPECT_DOUBLE_EQ(group.bands[2].Value(), 0.03);
    EXPECT_DOUBLE_EQ(group.bands[3].Value(), 0.4); // from the record before
    EXPECT_TRUE(group.frequencyX2.IsOn());
    EXPECT_TRUE(group.stereo.IsOn());
}

TEST_F(ResonatorFixture, BandHasUnityGainAtItsFrequency) {
    tResonatorBand band;
    band.setup(44100, 90.0);
    band.setFrequency(360.0);
    double peak = 0.0;
    for (int i = 0; i < 44100; ++i) {
        const double y = band.step(std::sin(6.283185307179586 * 360.0 * i / 44100.0));
        if (i > 22050) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_NEAR(peak, 1.0, 0.01);
    // Far from the band the response is small.
    band.clear();
    peak = 0.0;
    for (int i = 0; i < 44100; ++i) {
        const double y = band.step(std::sin(6.283185307179586 * 5000.0 * i / 44100.0));
        if (i > 22050) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_LT(peak, 0.05);
}

TEST_F(ResonatorFixture, VolumeZeroPassesTheInputAndStepsNoBand) {
    group.volume.Set(0.0);
    group.frequencyX2.Set(0);
    unit.reset();
    unit.update();
    for (int k = 0; k < tResonator::kBands; ++k) EXPECT_EQ(unit.bandGain(k), 0.0);
    tTestNoise noise;
    std::vector<double> in(256), out(256);
    for (auto& x : in) x = noise.next();
    out = in;
    unit.process(out.data(), 256);
    EXPECT_EQ(out, in);
}

TEST_F(ResonatorFixture, DoublingWithoutStereoLeavesTheSecondChannelAtItsFrequencies) {
    group.frequencyX2.Set(0);
    group.stereo.Set(0);
    unit.reset();
    unit.update();
    const double b1Low = unit.band(0, 0).b1();
    EXPECT_EQ(unit.band(1, 0).b1(), b1Low);

    group.frequencyX2.Set(1);
    unit.update();
    EXPECT_TRUE(unit.doubled());
    EXPECT_NE(unit.band(0, 0).b1(), b1Low);
    EXPECT_EQ(unit.band(1, 0).b1(), b1Low);

    // With "stereo" set the second channel follows the next change.
    group.stereo.Set(1);
    group.frequencyX2.Set(0);
    unit.update();
    EXPECT_EQ(unit.band(0, 0).b1(), b1Low);
    EXPECT_EQ(unit.band(1, 0).b1(), b1Low);

    // Stereo processing with "stereo" clear copies the first channel's result to both.
    group.stereo.Set(0);
    group.volume.Set(1.5);
    unit.setChannels(2);
    unit.update();
    double frames[8] = {1.0, 7.0, 0.0, 7.0, 0.0, 7.0, 0.0, 7.0};
    unit.process(frames, 8);
    for (int i = 0; i < 8; i += 2) EXPECT_EQ(frames[i], frames[i + 1]);
    EXPECT_GT(frames[0], 1.0);
}
