#include "dsp/CounterWaves.h"
#include "dsp/PulseTable.h"
#include "dsp/RecordedTables.h"
#include "dsp/SampledWave.h"
#include "dsp/SawResWave.h"
#include "dsp/SineTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

template <class tWave> std::vector<double> Take(tWave& wave, int n) {
    std::vector<double> values;
    for (int i = 0; i < n; ++i) values.push_back(wave.next());
    return values;
}

} // namespace

TEST(CounterWaves, SawRectAndTriSequencesAtPeriodFour) {
    tSawWave saw;
    saw.setFrequency(44100, 11025.0);
    EXPECT_EQ(saw.period(), 4);
    EXPECT_EQ(Take(saw, 6), (std::vector<double>{0, 0.5, -1, -0.5, 0, 0.5}));

    tRectWave rect;
    rect.setFrequency(44100, 11025.0);
    EXPECT_EQ(Take(rect, 9), (std::vector<double>{-1, -1, -1, 0, 1, -1, -1, 0, 1}));

    tTriWave tri;
    tri.setFrequency(44100, 11025.0);
    EXPECT_EQ(Take(tri, 6), (std::vector<double>{-1, 0, 1, 0, -1, 0}));
    tri.setFrequency(44100, 441.0); // period 100: −4/P first, then up, down and up again
    const auto values = Take(tri, 101);
    EXPECT_DOUBLE_EQ(values[0], -0.04);
    EXPECT_DOUBLE_EQ(values[1], 0.0);
    EXPECT_DOUBLE_EQ(values[26], 1.0);
    EXPECT_DOUBLE_EQ(values[76], -1.0);
    EXPECT_NEAR(values[100], -0.04, 1e-12);
}

TEST(CounterWaves, UnplayableFrequenciesKeepAPeriod) {
    for (double f : {0.0, -5.0, 1e12, std::nan("")}) {
        tRectWave rect;
        rect.setFrequency(44100, f);
        EXPECT_GE(rect.period(), 1) << f;
        tTriWave tri;
        tri.setFrequency(44100, f);
        tSawWave saw;
        saw.setFrequency(44100, f);
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(std::isfinite(tri.next())) << f;
            EXPECT_TRUE(std::isfinite(saw.next())) << f;
        }
    }
}

TEST(SineTable, RoundsToTheNearestEntryAndWraps) {
    const double* table = tSineTable::table();
    EXPECT_EQ(table[0], 0.0);
    EXPECT_DOUBLE_EQ(table[1024], std::sin(6.283185308 * 1024 / 4096));
    EXPECT_NEAR(table[1024], 1.0, 1e-12);

    tSineTable sine;
    sine.setFrequency(44100, 441.0); // increment 4096 / 100 = 40.96
    EXPECT_DOUBLE_EQ(sine.increment(), 40.96);
    EXPECT_EQ(sine.next(), table[0]);
    EXPECT_EQ(sine.next(), table[41]);
    EXPECT_EQ(sine.next(), table[82]);
    EXPECT_EQ(sine.at(1000), table[40960 % 4096]);
    EXPECT_EQ(sine.at(112), table[4588 - 4096]); // 112 × 40.96 = 4587.52
    EXPECT_EQ(sine.next(), table[123]);          // at() leaves the counter alone
    sine.reset();
    EXPECT_EQ(sine.next(), table[0]);

    sine.setFrequency(44100, -441.0); // running backwards still reads inside the table
    sine.reset();
    sine.next();
    EXPECT_EQ(sine.next(), table[4096 - 41]);
}

TEST(PulseTable, EndPointsOfBothShapes) {
    const double* bipolar = tPulseTable::table(tPulseTable::Bipolar);
    EXPECT_DOUBLE_EQ(bipolar[0], -0.8);
    EXPECT_NEAR(bipolar[202], 1.19, 0.001);
    EXPECT_NEAR(bipolar[2047], -0.8, 0.002);
    EXPECT_EQ(*std::max_element(bipolar, bipolar + 2048), bipolar[203]);
    const double* unipolar = tPulseTable::table(tPulseTable::Unipolar);
    EXPECT_EQ(unipolar[0], 0.0);
    EXPECT_NEAR(unipolar[202], 1.0, 0.005);
    EXPECT_DOUBLE_EQ(unipolar[203], 1.0);
    EXPECT_NEAR(unipolar[2047], 0.0, 0.001);

    tPulseTable pulse(tPulseTable::Unipolar);
    pulse.setFrequency(44100, 44100.0 / 2048.0); // one entry per sample
    for (int i = 0; i < 300; ++i) ASSERT_EQ(pulse.next(), unipolar[i]) << i;
}

TEST(SampledWave, FallsSilentAfterItsPeriods) {
    tSampledWave wave;
    wave.setFrequency(44100, 441.0); // 100 samples per period
    EXPECT_EQ(wave.lengthA(), 2100);
    EXPECT_EQ(wave.lengthB(), 250);
    wave.reset();
    int lastA = -1;
    for (int i = 0; i < 3000; ++i)
        if (wave.nextA() != 0.0) lastA = i;
    EXPECT_GT(lastA, 1900);
    EXPECT_LT(lastA, 2100);
    wave.reset();
    EXPECT_DOUBLE_EQ(wave.nextB(), -849 / 64000.0);
    for (int i = 1; i < 250; ++i) wave.nextB();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(wave.nextB(), 0.0);

    wave.setFrequency(44100, 0.0); // no frequency: silent at once
    wave.reset();
    EXPECT_EQ(wave.nextA(), 0.0);
}

TEST(RecordedTables, LengthsFirstValuesAndRanges) {
    struct {
        std::span<const std::int16_t> data;
        std::size_t length;
        std::vector<int> first;
        int lowest, highest;
    } recordings[] = {
        {PianoRecording(), 1343, {-833, -731, -282, 1125, 4780, 8084, 8013, 6028}, -19000, 19000},
        {MetalRecording(),
         1280,
         {-849, -511, -3966, -6597, -10154, -11579, -10554, -8299},
         -23000,
         23000},
        {SawResRecording(), 356, {0, -2, -8, -18, -37, -64, -104, -158}, -15460, 10405},
    };
    for (const auto& r : recordings) {
        ASSERT_EQ(r.data.size(), r.length);
        for (std::size_t i = 0; i < r.first.size(); ++i) EXPECT_EQ(r.data[i], r.first[i]);
        const auto [lo, hi] = std::minmax_element(r.data.begin(), r.data.end());
        EXPECT_GE(*lo, r.lowest);
        EXPECT_LE(*hi, r.highest);
        EXPECT_LT(*lo, r.lowest * 0.9);
        EXPECT_GT(*hi, r.highest * 0.9);
    }
    EXPECT_EQ(SawResShortRecording().size(), 187u);

    // Scaled and upsampled: five entries per value for A and B, six for sawres.
    EXPECT_DOUBLE_EQ(tSampledWave::tableA()[0], (-833 + 500) / 32000.0);
    EXPECT_DOUBLE_EQ(tSampledWave::tableA()[5], (-731 + 500) / 32000.0);
    EXPECT_DOUBLE_EQ(tSampledWave::tableA()[2], ((-833 + 500) + (-731 + 833) * 0.4) / 32000.0);
    EXPECT_DOUBLE_EQ(tSampledWave::tableB()[10], -3966 / 64000.0);
    EXPECT_DOUBLE_EQ(tSawResWave::table()[36], -104 / 16000.0);
    EXPECT_DOUBLE_EQ(tSawResWave::table()[3], -1 / 16000.0);
    EXPECT_EQ(tSawResWave::shortTable()[0], 0.0);
}
