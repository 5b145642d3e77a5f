#include "effects/UniversalFilter.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct UniversalFilterFixture : ::testing::Test {
    tEffectsControls controls;
    tUniversalFilter unit{controls};
    tUniversalFilterControls& group = controls.filter;

    void Prepare(int channels) {
        unit.setSampleRate(44100);
        unit.setChannels(channels);
        unit.reset();
        unit.update();
    }
};
} // namespace

TEST_F(UniversalFilterFixture, RecordOfSevenValuesCompletesTheModulation) {
    group.modFreq.Set(0.5);
    group.modDepth.Set(2.0);
    unit.setParams(Record("210 0 2 1 25 535 0").data());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 2.10);
    EXPECT_EQ(group.mode.Index(), 0);
    EXPECT_EQ(group.type.Index(), 2);
    EXPECT_EQ(group.order.Index(), 1);
    EXPECT_DOUBLE_EQ(group.resonance.Value(), 0.25);
    EXPECT_DOUBLE_EQ(group.frequency.Value(), 0.535);
    EXPECT_FALSE(group.on.IsOn());
    EXPECT_DOUBLE_EQ(group.modFreq.Value(), 0.05);
    EXPECT_DOUBLE_EQ(group.modDepth.Value(), 0.0);
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 10),
              (std::vector<int>{210, 0, 2, 1, 25, 535, 0, 50, 0, -1}));

    unit.setParams(Record("150 0 0 0 11 780 0 780 150").data());
    EXPECT_DOUBLE_EQ(group.modFreq.Value(), 0.78);
    EXPECT_DOUBLE_EQ(group.modDepth.Value(), 1.5);
}

TEST_F(UniversalFilterFixture, CutoffLawAndUnityDcGainOfTheLowPass) {
    group.modDepth.Set(0.0);
    Prepare(2);
    EXPECT_NEAR(unit.cutoff(), 4177.6, 0.1);
    EXPECT_DOUBLE_EQ(unit.gain(), std::exp(0.5) - 1.0);
    for (int order = 0; order < 4; ++order) {
        group.order.Set(order);
        Prepare(2);
        std::vector<double> block(512);
        for (int b = 0; b < 20; ++b) {
            for (std::size_t i = 0; i < block.size(); i += 2) {
                block[i] = 0.5;
                block[i + 1] = -7.0; // the second channel's input is not used
            }
            unit.process(block.data(), 512);
        }
        EXPECT_NEAR(block[510], 0.5 * unit.gain(), 1e-9) << "order " << order;
        EXPECT_EQ(block[511], block[510]);
    }
    // A high pass removes the constant.
    group.mode.Set(1);
    Prepare(1);
    std::vector<double> mono(4096, 0.5);
    unit.process(mono.data(), 4096);
    EXPECT_NEAR(mono[4095], 0.0, 1e-6);
}

TEST_F(UniversalFilterFixture, LfoStepsEvery12SamplesOnlyWhenModulated) {
    group.modDepth.Set(0.0);
    Prepare(1);
    EXPECT_FALSE(unit.modulated());
    double before = unit.lfoValue();
    for (int i = 0; i < 100; ++i) {
        double x = 0.1;
        unit.process(&x, 1);
    }
    EXPECT_EQ(unit.lfoValue(), before);

    group.modDepth.Set(3.0);
    Prepare(1);
    EXPECT_TRUE(unit.modulated());
    EXPECT_NEAR(unit.depth(), 0.4 * (std::exp(1.0) - 1.0), 1e-12);
    EXPECT_NEAR(unit.lfoFrequency(), 0.1 * std::pow(2.0, (780.0 + 50.0) / 130.0 - 1.0), 1e-12);
    std::vector<int> changes;
    before = unit.lfoValue();
    for (int n = 1; n <= 48; ++n) {
        double x = 0.1;
        unit.process(&x, 1);
        if (unit.lfoValue() != before) changes.push_back(n);
        before = unit.lfoValue();
    }
    EXPECT_EQ(changes, (std::vector<int>{12, 24, 36, 48}));
}
