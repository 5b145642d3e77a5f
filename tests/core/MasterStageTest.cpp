#include "core/MasterStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr int kChannels = 2;
constexpr double kLimit = 0.99 + 1e-12; // of full scale, with the limiter on

class MasterStageTest : public ::testing::Test {
protected:
    // Runs blocks of the same mix (frames x 2 values) through the stage; out holds the last
    // block, samples the same as the device receives it.
    void Run(const std::vector<double>& mix, int blocks = 1) {
        const int frames = static_cast<int>(mix.size()) / kChannels;
        out.resize(mix.size());
        samples.resize(mix.size());
        for (int b = 0; b < blocks; ++b) stage.Process(mix.data(), frames, kChannels, out.data());
        tMasterStage::ToSamples(out.data(), static_cast<int>(out.size()), samples.data());
    }
    static std::vector<double> Constant(double value, int frames = kFrames) {
        return std::vector<double>(frames * kChannels, value);
    }
    double OutPeak() const {
        double peak = 0.0;
        for (const double x : out) peak = std::max(peak, std::fabs(x));
        return peak;
    }

    tMasterControls controls;
    tMasterStage stage{controls};
    std::vector<double> out;
    std::vector<int16_t> samples;
};

// Blocks of kFrames in a meter window at 44100 Hz.
constexpr int kMeterBlocks = tMasterStage::kMeterWindow / kFrames;

} // namespace

// --- volume, limiter, conversion -----------------------------------------------------------

TEST_F(MasterStageTest, GainFollowsTheVolumeLawAndRampsAcrossTheBlock) {
    EXPECT_DOUBLE_EQ(tMasterStage::GainForVolume(0.0), 0.0);
    EXPECT_NEAR(tMasterStage::GainForVolume(1.5), 13572.95, 0.01);
    EXPECT_DOUBLE_EQ(tMasterStage::GainForVolume(3.0), 32768.0);
    EXPECT_NEAR(tMasterStage::GainForVolume(4.0), 49802.19, 0.01);

    // The first block starts at the initial volume 1.5; the product truncates toward zero.
    Run(Constant(0.5));
    EXPECT_EQ(samples[0], 6786);
    EXPECT_EQ(samples.back(), 6786);
    // The slider moves: the next block goes from the old gain to the new one frame by frame,
    // without a step larger than its share of the change.
    const double last = out.back();
    controls.volume.Set(3.0);
    Run(Constant(0.5));
    const double stepLimit = (0.5 - last) / kFrames + 1e-12;
    double previous = last;
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_EQ(out[2 * f], out[2 * f + 1]);
        EXPECT_GT(out[2 * f], previous);
        EXPECT_LE(out[2 * f] - previous, stepLimit);
        previous = out[2 * f];
    }
    EXPECT_EQ(samples.back(), 16384);
    Run(Constant(0.5));
    EXPECT_EQ(samples[0], 16384);
}

TEST_F(MasterStageTest, LimiterCutsLoudBlocksTo99PercentWithoutEverFallingSilent) {
    controls.volume.Set(4.0);
    // A full-scale block at volume 4: cut to 0.99 at once, evenly over the block.
    Run(Constant(1.0));
    EXPECT_NEAR(OutPeak(), 0.99, 1e-12);
    EXPECT_NEAR(out[0], out.back(), 1e-12);
    // Held loud, the level stays at 0.99, block after block (it did fall toward 0).
    Run(Constant(1.0), 3 * kMeterBlocks);
    EXPECT_NEAR(OutPeak(), 0.99, 1e-12);
    EXPECT_NEAR(out[0], 0.99, 1e-12);
    // Quieter playing comes back smoothly, about 100 ms to get most of the way.
    const double quiet = 0.3;
    const double open = quiet * tMasterStage::GainForVolume(4.0) / 32768.0;
    Run(Constant(quiet));
    const double first = out[0];
    EXPECT_GT(first, 0.6 * open);
    Run(Constant(quiet), 34); // about 100 ms
    const double afterRelease = out.back();
    EXPECT_GT(afterRelease, first);
    EXPECT_NEAR((open - afterRelease) / (open - first), std::exp(-1.0), 0.05);
    Run(Constant(quiet), 500);
    EXPECT_NEAR(out.back(), open, 1e-6);
    EXPECT_NEAR(stage.Reduction(), 1.0, 1e-6);
}

TEST_F(MasterStageTest, WithTheLimiterNothingPassesIt99PercentAndNoLoudBlockIsSilent) {
    controls.volume.Set(4.0);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> level(0.0, 4.0);
    double loudest = 0.0;
    for (int b = 0; b < 3000; ++b) {
        // Blocks of any length, at levels from silence to far above full scale, with the
        // volume slider moving now and then.
        const int frames = 1 + static_cast<int>(random() % 256);
        std::vector<double> mix(frames * kChannels);
        const double amplitude = b % 50 < 25 ? level(random) : 0.05 * level(random);
        for (double& x : mix) x = amplitude * std::sin(0.01 * static_cast<double>(random()));
        if (b % 97 == 0) controls.volume.Set(level(random));
        Run(mix);
        loudest = std::max(loudest, OutPeak());
        EXPECT_LE(OutPeak(), kLimit) << "block " << b;
        double in = 0.0;
        for (const double x : mix) in = std::max(in, std::fabs(x));
        if (in > 0.01 && controls.volume.Value() > 0.5) {
            EXPECT_GT(OutPeak(), 0.0) << b;
        }
    }
    EXPECT_GT(loudest, 0.98);
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
    Run(Constant(1.0), kMeterBlocks); // the window counts frames: the short block adds 4
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

TEST_F(MasterStageTest, VuMeterShowsThePeakBeforeTheLimiterWithItsColours) {
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
    // The limiter at work shows as its own colour.
    Run(Constant(1.2), kMeterBlocks);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourLimited);
    EXPECT_NEAR(controls.vuMeter.Value(), 1.2, 1e-12);
    // Volume 0: silence, the normal colour.
    controls.volume.Set(0.0);
    Run(Constant(0.9), 2 * kMeterBlocks);
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(controls.vuMeter.Colour(), kVuColourNormal);
    EXPECT_DOUBLE_EQ(controls.vuMeter.Value(), 0.0);
}

TEST_F(MasterStageTest, MeterWindowKeepsItsTimeAtEveryRateWhateverTheBlockLength) {
    EXPECT_EQ(stage.MeterWindowFrames(), 5376); // 42 blocks of 128 at 44100 Hz
    controls.volume.Set(3.0);
    // Blocks of 1 and of 7 frames at 96000 Hz fill the window frame by frame.
    for (const int frames : {1, 7}) {
        SCOPED_TRACE(frames);
        tMasterStage fresh(controls);
        fresh.SetSampleRate(96000);
        EXPECT_EQ(fresh.MeterWindowFrames(), 11703);
        const std::vector<double> mix = Constant(0.7, frames);
        std::vector<double> result(mix.size());
        const int before = (11703 - 1) / frames; // blocks that leave the window unfilled
        const auto serial = controls.vuMeter.Serial();
        for (int b = 0; b < before; ++b)
            fresh.Process(mix.data(), frames, kChannels, result.data());
        EXPECT_EQ(controls.vuMeter.Serial(), serial);
        fresh.Process(mix.data(), frames, kChannels, result.data());
        EXPECT_NE(controls.vuMeter.Serial(), serial);
        EXPECT_NEAR(controls.vuMeter.Value(), 0.7, 1e-12);
    }
}

// --- load meter and overload guard --------------------------------------------------------

TEST_F(MasterStageTest, LoadIsTheShareOfThePeriodAndOverloadNeedsASecondOfIt) {
    const double period = 128.0 / 44100.0;
    const int perSecond = 345; // periods of 128 frames in a second
    // Half the period's time in processing: 50 %, shown after a third of a second.
    const auto serial = controls.loadMeter.Serial();
    for (int b = 0; b < 100; ++b) EXPECT_FALSE(stage.UpdateLoad(0.5 * period, 128));
    EXPECT_EQ(controls.loadMeter.Serial(), serial);
    for (int b = 0; b < 10; ++b) EXPECT_FALSE(stage.UpdateLoad(0.5 * period, 128));
    EXPECT_NEAR(controls.loadMeter.Value(), 50.0, 1e-9);
    EXPECT_EQ(controls.loadMeter.Colour(), kLoadColourNormal);
    for (int b = 0; b < 110; ++b) stage.UpdateLoad(0.8 * period, 128);
    EXPECT_EQ(controls.loadMeter.Colour(), kLoadColourWarning);
    // A second of sound at 85 % of the processor is heavy but no overload; at 95 % it is,
    // once the second is complete.
    tMasterStage guard(controls);
    for (int b = 0; b < perSecond + 1; ++b) EXPECT_FALSE(guard.UpdateLoad(0.85 * period, 128));
    bool overloaded = false;
    int blocks = 0;
    for (; blocks < 2 * perSecond && !overloaded; ++blocks)
        overloaded = guard.UpdateLoad(0.95 * period, 128);
    EXPECT_TRUE(overloaded);
    EXPECT_LE(blocks, 2 * perSecond);
    EXPECT_GE(blocks, perSecond - 2);
}
