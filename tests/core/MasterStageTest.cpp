#include "core/MasterStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr int kChannels = 2;
constexpr int kFragments = 4;

class MasterStageTest : public ::testing::Test {
protected:
    // Runs blocks of the same mix (frames x 2 values) through the stage and the device's
    // load step; samples holds the last block as the device receives it.
    void Run(const std::vector<double>& mix, int blocks = 1) {
        const int frames = static_cast<int>(mix.size()) / kChannels;
        std::vector<double> out(mix.size());
        samples.resize(mix.size());
        for (int b = 0; b < blocks; ++b) {
            stage.Process(mix.data(), frames, kChannels, out.data());
            overload = stage.UpdateLoad(frames, kFragments);
        }
        tMasterStage::ToSamples(out.data(), static_cast<int>(out.size()), samples.data());
    }
    static std::vector<double> Constant(double value, int frames = kFrames) {
        return std::vector<double>(frames * kChannels, value);
    }
    void SetBlocksSinceTick(int blocks) {
        counters.ResetBlocks();
        for (int i = 0; i < blocks; ++i) counters.CountBlock();
    }

    tMasterControls controls;
    tLoadCounters counters;
    tMasterStage stage{controls, counters};
    std::vector<int16_t> samples;
    bool overload = false;
};

// Blocks of kFrames in a meter and a load window at 44100 Hz.
constexpr int kMeterBlocks = tMasterStage::kMeterWindow / kFrames;
constexpr int kLoadBlocks = tMasterStage::kLoadWindow / kFrames;

} // namespace

// --- gain, limiter, conversion ---------------------------------------------------------------

TEST_F(MasterStageTest, GainFollowsTheVolumeLaw) {
    EXPECT_DOUBLE_EQ(tMasterStage::GainForVolume(0.0), 0.0);
    EXPECT_NEAR(tMasterStage::GainForVolume(1.5), 13572.95, 0.01);
    EXPECT_DOUBLE_EQ(tMasterStage::GainForVolume(3.0), 32768.0);
    EXPECT_NEAR(tMasterStage::GainForVolume(4.0), 49802.19, 0.01);

    // The initial volume 1.5 applied to a quiet block; the product truncates toward zero.
    Run(Constant(0.5));
    EXPECT_NEAR(stage.Gain(), 13572.95, 0.01);
    EXPECT_EQ(samples.data()[0], 6786);
    Run({0.001, -0.001});
    EXPECT_EQ(samples.data()[0], 13);
    EXPECT_EQ(samples.data()[1], -13);
}

TEST_F(MasterStageTest, VolumeZeroIsSilenceWithTheNormalColour) {
    controls.volume.Set(0.0);
    controls.vuMeter.SetColour(0);
    Run(Constant(0.9), kMeterBlocks);
    EXPECT_EQ(samples.data()[0], 0);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourNormal);
    EXPECT_DOUBLE_EQ(controls.vuMeter.Value(), 0.0);
}

TEST_F(MasterStageTest, LimiterHalvesAFullScaleBlockAndKeepsCuttingThroughTheWindow) {
    controls.volume.Set(3.0);
    Run(Constant(1.0));
    EXPECT_DOUBLE_EQ(stage.Gain(), 16384.0);
    EXPECT_EQ(samples.data()[0], 16384);
    // The held peak still exceeds the threshold in the next block of the same window.
    Run(Constant(1.0));
    EXPECT_DOUBLE_EQ(stage.Gain(), 8192.0);
    Run(Constant(1.0), kMeterBlocks - 2);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourLimited);
    EXPECT_DOUBLE_EQ(controls.vuMeter.Value(), 1.0);
    // The next window starts again from the volume's gain.
    Run(Constant(0.25));
    EXPECT_DOUBLE_EQ(stage.Gain(), 32768.0);
    EXPECT_EQ(samples.data()[0], 8192);
}

TEST_F(MasterStageTest, WithoutLimiterLoudSamplesSaturateInsteadOfWrapping) {
    controls.volume.Set(3.0);
    controls.limiter.Set(0);
    Run({1.0, -1.0, 1.5, -1.5, 0.999, 3.0e9, -3.0e9, 0.0}); // four stereo frames
    const int16_t* s = samples.data();
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 32767); // would wrap to -16384
    EXPECT_EQ(s[3], -32768);
    EXPECT_EQ(s[4], 32735);
    EXPECT_EQ(s[5], 32767);
    EXPECT_EQ(s[6], -32768);
    EXPECT_EQ(s[7], 0);
    EXPECT_DOUBLE_EQ(stage.Gain(), 32768.0); // no limiting
    Run(Constant(1.0), kMeterBlocks);        // the window counts frames: the short block adds 4
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourOverload);
    EXPECT_NEAR(controls.vuMeter.Value(), 3.0e9, 1.0);
}

TEST_F(MasterStageTest, ConversionSaturatesAndMapsNotANumberToSilence) {
    EXPECT_EQ(tMasterStage::ToSample(32767.9), 32767);
    EXPECT_EQ(tMasterStage::ToSample(40000.0), 32767);
    EXPECT_EQ(tMasterStage::ToSample(-32768.5), -32768);
    EXPECT_EQ(tMasterStage::ToSample(-1.0e300), -32768);
    EXPECT_EQ(tMasterStage::ToSample(-32767.9), -32767);
    EXPECT_EQ(tMasterStage::ToSample(-0.9), 0);
    EXPECT_EQ(tMasterStage::ToSample(std::numeric_limits<double>::infinity()), 32767);
    EXPECT_EQ(tMasterStage::ToSample(std::nan("")), 0);
}

// --- VU meter ------------------------------------------------------------------------------

TEST_F(MasterStageTest, VuMeterUpdatesOnceEvery42BlocksWithItsColours) {
    controls.volume.Set(3.0);
    const auto serial = controls.vuMeter.Serial();
    Run(Constant(0.9), kMeterBlocks - 1);
    EXPECT_EQ(controls.vuMeter.Serial(), serial);
    Run(Constant(0.9));
    EXPECT_NE(controls.vuMeter.Serial(), serial);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourHot);
    EXPECT_NEAR(controls.vuMeter.Value(), 0.9, 1e-12);

    Run(Constant(0.5), kMeterBlocks);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourNormal);
    EXPECT_NEAR(controls.vuMeter.Value(), 0.5, 1e-12);
}

TEST_F(MasterStageTest, MeterWindowKeepsItsTimeAtEveryRateWhateverTheBlockLength) {
    EXPECT_EQ(stage.MeterWindowFrames(), 5376); // 42 blocks of 128 at 44100 Hz
    EXPECT_EQ(stage.LoadWindowFrames(), 13056);
    controls.volume.Set(3.0);
    // Blocks of 1 and of 7 frames at 96000 Hz fill the window frame by frame.
    for (const int frames : {1, 7}) {
        SCOPED_TRACE(frames);
        tMasterStage fresh(controls, counters);
        fresh.SetSampleRate(96000);
        EXPECT_EQ(fresh.MeterWindowFrames(), 11703);
        EXPECT_EQ(fresh.LoadWindowFrames(), 28421);
        const std::vector<double> mix = Constant(0.7, frames);
        std::vector<double> out(mix.size());
        const int before = (11703 - 1) / frames; // blocks that leave the window unfilled
        const auto serial = controls.vuMeter.Serial();
        for (int b = 0; b < before; ++b) fresh.Process(mix.data(), frames, kChannels, out.data());
        EXPECT_EQ(controls.vuMeter.Serial(), serial);
        fresh.Process(mix.data(), frames, kChannels, out.data());
        EXPECT_NE(controls.vuMeter.Serial(), serial);
        EXPECT_NEAR(controls.vuMeter.Value(), 0.7, 1e-12);
    }
}

TEST_F(MasterStageTest, VolumeChangeTakesEffectAtTheNextWindow) {
    Run(Constant(0.5));
    controls.volume.Set(3.0);
    Run(Constant(0.5), kMeterBlocks - 1);
    EXPECT_EQ(samples.data()[0], 6786);
    Run(Constant(0.5));
    EXPECT_EQ(samples.data()[0], 16384);
}

TEST_F(MasterStageTest, VuSwitchOffWithLimiterOffLeavesTheMeterAlone) {
    controls.volume.Set(3.0);
    controls.vu.Set(0);
    controls.limiter.Set(0);
    const auto serial = controls.vuMeter.Serial();
    Run(Constant(1.0), 3 * kMeterBlocks);
    EXPECT_EQ(controls.vuMeter.Serial(), serial);
    EXPECT_DOUBLE_EQ(stage.Peak(), 0.0);
    EXPECT_EQ(samples.data()[0], 32767);
}

// --- load meter and overload guard --------------------------------------------------------

TEST_F(MasterStageTest, LoadMeterShowsTheLargestCountScaledTo128Frames) {
    counters.UseFifoLevels();
    SetBlocksSinceTick(3);
    const auto serial = controls.loadMeter.Serial();
    Run(Constant(0.0), kLoadBlocks - 1);
    EXPECT_EQ(controls.loadMeter.Serial(), serial);
    Run(Constant(0.0));
    EXPECT_DOUBLE_EQ(controls.loadMeter.Value(), 3.0);
    EXPECT_EQ(controls.loadMeter.Colour(), kLoadColourNormal);

    Run(Constant(0.0, 64), 2 * kLoadBlocks);
    EXPECT_DOUBLE_EQ(controls.loadMeter.Value(), 1.0);
}

TEST_F(MasterStageTest, LoadMeterTurnsRedAboveWarningLevelPlusFragments) {
    counters.UseFifoLevels(); // warning 40
    SetBlocksSinceTick(44);
    Run(Constant(0.0), kLoadBlocks);
    EXPECT_DOUBLE_EQ(controls.loadMeter.Value(), 44.0);
    EXPECT_EQ(controls.loadMeter.Colour(), kLoadColourNormal);
    SetBlocksSinceTick(45);
    Run(Constant(0.0), kLoadBlocks);
    EXPECT_EQ(controls.loadMeter.Colour(), kLoadColourWarning);
}

TEST_F(MasterStageTest, OverloadGuardCutsOffAboveTheLevelForTheMidiSource) {
    counters.UseFifoLevels(); // 120 x 128 / 128 + 4 fragments = 124
    SetBlocksSinceTick(124);
    Run(Constant(0.0));
    EXPECT_FALSE(overload);
    SetBlocksSinceTick(125);
    Run(Constant(0.0));
    EXPECT_TRUE(overload);

    counters.UseSequencerLevels(); // 200 x 128 / 128 + 4 = 204; at 64 frames 104
    SetBlocksSinceTick(204);
    Run(Constant(0.0));
    EXPECT_FALSE(overload);
    SetBlocksSinceTick(205);
    Run(Constant(0.0));
    EXPECT_TRUE(overload);
    SetBlocksSinceTick(104);
    Run(Constant(0.0, 64));
    EXPECT_FALSE(overload);
    SetBlocksSinceTick(105);
    Run(Constant(0.0, 64));
    EXPECT_TRUE(overload);
    EXPECT_EQ(counters.Blocks(), 105); // the stage reads the counter, it does not count
}
