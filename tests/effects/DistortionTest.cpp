#include "effects/Distortion.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct DistortionFixture : ::testing::Test {
    tEffectsControls controls;
    tDistortion unit{controls};
};
} // namespace

TEST_F(DistortionFixture, HardCurveLiftsQuietValuesAndCompressesLoudOnes) {
    controls.distortion.level.Set(0.0);
    unit.update();
    EXPECT_NEAR(unit.hardShape(1.0), 0.99712, 1e-5);
    EXPECT_NEAR(unit.hardShape(-1.0), -0.99712, 1e-5);
    EXPECT_NEAR(unit.hardShape(0.01), 0.0972, 1e-4);
    EXPECT_EQ(unit.hardShape(0.0), 0.0);

    // A level opens a linear zone up to 0.1 x f(level), then the curve jumps.
    controls.distortion.level.Set(3.0);
    unit.update();
    const double t = 0.1 * (std::exp(1.0) - 1.0);
    EXPECT_DOUBLE_EQ(unit.hardShape(0.9 * t), 0.9 * t);
    EXPECT_DOUBLE_EQ(unit.hardShape(-0.9 * t), -0.9 * t);
    EXPECT_GT(unit.hardShape(1.01 * t), 1.5 * t);
}

TEST_F(DistortionFixture, SoftCurveMapsFullScaleToFullScale) {
    controls.distortion.level.Set(0.0);
    controls.distortion.softMode.Set(1);
    unit.update();
    EXPECT_NEAR(unit.softShape(1.0), 1.0, 1e-12);
    EXPECT_NEAR(unit.softShape(-1.0), -1.0, 1e-12);
    EXPECT_NEAR(unit.softShape(0.5), 0.5119, 1e-4);
    EXPECT_NEAR(unit.softShape(-0.5), -0.5119, 1e-4);
}

TEST_F(DistortionFixture, ProcessAppliesGainAndFeedsStereoFromTheFirstChannel) {
    controls.distortion.volume.Set(3.0); // gain e - 1
    controls.distortion.softMode.Set(1);
    unit.setChannels(2);
    unit.update();
    double frame[4] = {0.5, -0.9, -1.0, 0.3};
    unit.process(frame, 4);
    const double gain = std::exp(1.0) - 1.0;
    EXPECT_NEAR(frame[0], gain * 0.5119, 1e-3);
    EXPECT_EQ(frame[1], frame[0]);
    EXPECT_NEAR(frame[2], -gain, 1e-12);
    EXPECT_EQ(frame[3], frame[2]);

    // Mono: every value is shaped on its own.
    unit.setChannels(1);
    controls.distortion.softMode.Set(0);
    double mono[2] = {1.0, -1.0};
    unit.process(mono, 2);
    EXPECT_NEAR(mono[0], gain * 0.99712, 1e-4);
    EXPECT_NEAR(mono[1], -gain * 0.99712, 1e-4);
}

TEST_F(DistortionFixture, RecordRoundTripAndNegativeLevelStaysDefined) {
    const auto record = Record("80 272 1 1");
    unit.setParams(record.data());
    EXPECT_DOUBLE_EQ(controls.distortion.volume.Value(), 0.8);
    EXPECT_DOUBLE_EQ(controls.distortion.level.Value(), 2.72);
    EXPECT_TRUE(controls.distortion.softMode.IsOn());
    EXPECT_TRUE(controls.distortion.on.IsOn());
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 5), (std::vector<int>{80, 272, 1, 1, -1}));

    // A level below the slider's range from a damaged text keeps the soft curve finite.
    unit.setParams(Record("80 -300 1 1").data());
    unit.update();
    EXPECT_TRUE(std::isfinite(unit.softShape(0.7)));
    EXPECT_TRUE(std::isfinite(unit.softShape(-0.7)));
}
