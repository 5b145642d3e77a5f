#include "effects/Reverb.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
struct ReverbFixture : ::testing::Test {
    tEffectsControls controls;
    tReverb unit{controls};
    tReverbControls& group = controls.reverb;

    void Prepare(int channels) {
        unit.setChannels(channels);
        unit.reset();
        unit.update();
    }

    // The response of the unit to a unit impulse, count values.
    std::vector<double> Impulse(int count) {
        std::vector<double> x(count, 0.0);
        x[0] = 1.0;
        unit.process(x.data(), count);
        return x;
    }
};
} // namespace

TEST_F(ReverbFixture, SimpleReverbLinesArePrimeLengthsScaledFromTheBase) {
    tSimpleReverb simple;
    EXPECT_EQ(simple.capacity(0), 1759);
    EXPECT_EQ(simple.capacity(1), 5486);
    EXPECT_EQ(simple.capacity(2), 10685);
    EXPECT_EQ(simple.capacity(3), 8873);
    simple.setLength(1000);
    EXPECT_EQ(simple.length(0), 167);
    EXPECT_EQ(simple.length(1), 521);
    EXPECT_EQ(simple.length(2), 1009);
    EXPECT_EQ(simple.length(3), 839);

    // The slider's range keeps the longest line well inside its capacity.
    EXPECT_EQ(tReverb::SimpleLengthFor(0.5), 540);
    EXPECT_EQ(tReverb::SimpleLengthFor(3.0), 3824);
    // A damping from a patch far beyond the slider still fits.
    simple.setLength(tReverb::SimpleLengthFor(1000.0));
    for (int k = 0; k < tSimpleReverb::kLines; ++k) EXPECT_LE(simple.length(k), simple.capacity(k));
}

TEST_F(ReverbFixture, SimpleReverbEchoesAfterItsAllpassLine) {
    // Line 1 delays by its length - 1: with mix 1 the output's first echo from the feedback
    // lines arrives after lines 1 and 2 and one of lines 3 or 4.
    tSimpleReverb simple;
    simple.setLength(1000);
    simple.setMix(2.0); // mix 1: wet only
    std::vector<double> out(2000);
    for (int i = 0; i < 2000; ++i) out[i] = simple.step(i == 0 ? 1.0 : 0.0);
    int first = -1;
    for (int i = 0; i < 2000 && first < 0; ++i)
        if (out[i] != 0.0) first = i;
    // The allpasses pass -0.7 x at once; lines 3 and 4 then delay by 838 or 1008 samples.
    EXPECT_EQ(first, 838);
}

// Both channels side by side give each channel's own steps bit for bit, across the lines'
// wraps, a length changed part way and blocks of many sizes; reverbs not set alike take the
// steps one by one.
TEST_F(ReverbFixture, StereoSimpleReverbsSideBySideStepAsEachAlone) {
    tSimpleReverb left, right, soloLeft, soloRight;
    for (tSimpleReverb* r : {&left, &right, &soloLeft, &soloRight}) {
        r->setLength(300);
        r->setMix(0.8);
    }
    unsigned seed = 7;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    std::vector<double> block(2 * 700);
    for (int pass = 0; pass < 40; ++pass) {
        if (pass == 20)
            for (tSimpleReverb* r : {&left, &right, &soloLeft, &soloRight}) r->setLength(91);
        if (pass == 30) right.setLength(500); // no longer alike
        if (pass == 30) soloRight.setLength(500);
        const int frames = 1 + (pass * 97) % 700;
        for (int i = 0; i < 2 * frames; ++i) block[i] = noise();
        std::vector<double> expected(block.begin(), block.begin() + 2 * frames);
        for (int f = 0; f < frames; ++f) {
            soloLeft.step(expected[2 * f]);
            expected[2 * f] = soloLeft.m1();
            soloRight.step(expected[2 * f + 1]);
            expected[2 * f + 1] = soloRight.m1();
        }
        tSimpleReverb::processStereo(left, right, block.data(), frames);
        ASSERT_EQ(std::memcmp(block.data(), expected.data(), 2 * frames * sizeof(double)), 0)
            << "pass " << pass;
    }
}

TEST_F(ReverbFixture, Reverb4RunsExactlyFourCombPairs) {
    group.type.Set(1);
    group.width.Set(0.0);
    Prepare(1);
    EXPECT_EQ(unit.comb().numCombs(), 4);
    auto y = Impulse(1700);
    for (int t : {1116, 1188, 1277, 1356}) EXPECT_NE(y[t], 0.0) << t;
    for (int t : {1422, 1491, 1617}) EXPECT_EQ(y[t], 0.0) << t;

    // Stereo: the right channel's first four combs answer, the last four stay silent.
    Prepare(2);
    std::vector<double> s(2 * 1700, 0.0);
    s[0] = s[1] = 0.5;
    tEffectsControls other;
    tReverb fresh(other);
    other.reverb.type.Set(1);
    other.reverb.width.Set(0.0);
    fresh.setChannels(2);
    fresh.reset();
    fresh.update();
    fresh.process(s.data(), 2 * 1700);
    for (int t : {1139, 1211, 1300, 1379}) EXPECT_NE(s[2 * t + 1], 0.0) << t;
    for (int t : {1445, 1514, 1640}) EXPECT_EQ(s[2 * t + 1], 0.0) << t;

    // "reverb8" answers at all eight.
    tEffectsControls third;
    tReverb eight(third);
    third.reverb.type.Set(3);
    eight.reset();
    eight.update();
    EXPECT_EQ(eight.comb().numCombs(), 8);
    std::vector<double> z(1700, 0.0);
    z[0] = 1.0;
    eight.process(z.data(), 1700);
    for (int t : {1116, 1188, 1277, 1356, 1422, 1491, 1617}) EXPECT_NE(z[t], 0.0) << t;
}

TEST_F(ReverbFixture, VolumeZeroPassesTheDrySignal) {
    tTestNoise noise;
    for (int type = 0; type < 4; ++type) {
        group.type.Set(type);
        group.volume.Set(0.0);
        Prepare(2);
        std::vector<double> in(512);
        for (auto& x : in) x = noise.next();
        auto out = in;
        for (int b = 0; b < 8; ++b) {
            out = in;
            unit.process(out.data(), 512);
        }
        if (type == 0) {
            for (std::size_t i = 0; i < in.size(); ++i) EXPECT_DOUBLE_EQ(out[i], in[i]);
        } else {
            EXPECT_EQ(out, in) << "type " << type;
        }
    }
}

TEST_F(ReverbFixture, WidthExtremesSetTheCrossFeed) {
    group.type.Set(3);
    group.volume.Set(1.5);
    group.width.Set(3.0);
    Prepare(2);
    const tCombReverb& comb = unit.comb();
    const double wet = 3.0 * (std::exp(0.5) - 1.0) * 0.35;
    EXPECT_NEAR(comb.wet1(), wet, 1e-4);
    EXPECT_NEAR(comb.wet2(), 0.0, 1e-5);

    group.width.Set(0.0);
    unit.update();
    EXPECT_DOUBLE_EQ(comb.wet1(), wet / 2.0);
    EXPECT_DOUBLE_EQ(comb.wet2(), wet / 2.0);
    EXPECT_DOUBLE_EQ(comb.dry(), 1.0);
    EXPECT_EQ(comb.inputGain(), static_cast<double>(0.015f));
    // Room size at the slider's end gives the largest comb feedback, 0.28 + 0.7.
    group.roomSize.Set(3.0);
    unit.update();
    EXPECT_NEAR(comb.combFeedback(0, 7), 0.98, 1e-5);
    EXPECT_NEAR(comb.combFeedback(1, 0), 0.98, 1e-5);
}

TEST_F(ReverbFixture, ShortRecordsAreCompleted) {
    unit.setParams(Record("0 152 245 0").data());
    EXPECT_EQ(group.type.Index(), 0);
    EXPECT_DOUBLE_EQ(group.damping.Value(), 1.52);
    EXPECT_DOUBLE_EQ(group.volume.Value(), 2.45);
    EXPECT_FALSE(group.on.IsOn());
    EXPECT_DOUBLE_EQ(group.roomSize.Value(), 2.55);
    EXPECT_DOUBLE_EQ(group.width.Value(), 2.6);
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    // The completed room size of 2.55 is written as 255, not as the 254 a plain truncation of
    // the binary product 254.99999999999997 would give.
    EXPECT_EQ(std::vector<int>(out, out + 7), (std::vector<int>{0, 152, 245, 0, 255, 260, -1}));

    unit.setParams(Record("3 93 70 1 285").data());
    EXPECT_EQ(unit.type(), 3);
    EXPECT_DOUBLE_EQ(group.roomSize.Value(), 2.85);
    EXPECT_DOUBLE_EQ(group.width.Value(), 2.6);

    // A damaged record of two values changes only those two.
    unit.setParams(Record("1 200").data());
    EXPECT_EQ(group.type.Index(), 1);
    EXPECT_DOUBLE_EQ(group.damping.Value(), 2.0);
    EXPECT_DOUBLE_EQ(group.volume.Value(), 0.7);
    EXPECT_DOUBLE_EQ(group.roomSize.Value(), 2.85);
}
