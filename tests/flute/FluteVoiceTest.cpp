#include "flute/FluteVoice.h"
#include "dsp/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A voice set up as the module sets up a new module's flute, then the model asked for.
std::unique_ptr<tFluteVoice> MakeVoice(int model, bool filterOn, int rate = 44100) {
    auto voice = std::make_unique<tFluteVoice>();
    voice->setSampleRate(rate);
    voice->setVelocity(0.5);
    voice->setLevel(0.2 * (std::exp(1.7 / 3.0) - 1.0));
    voice->setPressure(0.41 * 0.9090909090909091 * 1.3);
    voice->setBreathLevel(0.16 * 0.05 * 1.5);
    voice->setBreathAttack(110.0);
    voice->setBreathBoost(0.5);
    voice->setBreathFilter(1.6 * 0.8);
    voice->setBreathMode(1);
    voice->setTremoloRate(1.23);
    voice->setTremoloDepth(0.23 * 0.05);
    voice->setScale(1);
    voice->setJetRatio(0.5, 0);
    voice->setLoopFilter(7.95);
    voice->setLoopCeiling(0.95);
    voice->setLoopMode(0);
    voice->setLoopOrder(1);
    voice->setFeedEmb(0.48);
    voice->setFeedBore(0.59);
    voice->setModel(model);
    voice->setFilterOn(filterOn ? 1 : 0);
    voice->setFilterType(1);
    voice->setResonance(2.4);
    voice->setFollowNote(1);
    voice->setCutoff(2.38);
    voice->setBoreScale(1.0);
    return voice;
}

bool AllFinite(const std::vector<double>& samples) {
    for (double s : samples)
        if (!std::isfinite(s)) return false;
    return true;
}

} // namespace

TEST(FluteVoice, AttackLengthIsFourPeriodsScaledAbove440Hz) {
    auto voice = MakeVoice(1, false);
    voice->noteOn(440.0, 1.0, 69);
    EXPECT_EQ(voice->period(), 100);
    EXPECT_EQ(voice->attackLength(), 400);
    voice->noteOn(880.0, 1.0, 81);
    EXPECT_EQ(voice->period(), 50);
    EXPECT_EQ(voice->attackLength(), 282); // (int)(4 × 50 × √2)
    voice->noteOn(220.0, 3.0, 57);
    EXPECT_EQ(voice->attackLength(), 4 * 200 * 3); // no scaling at or below 440 Hz
    voice->setBreathAttack(2.5);
    voice->noteOn(440.0, 1.0, 69);
    EXPECT_EQ(voice->breathLength(), 250);
}

TEST(FluteVoice, PressureIsNinetyPercentAndCappedAt09) {
    tFluteVoice voice;
    voice.setPressure(2.0);
    EXPECT_DOUBLE_EQ(voice.pressure(), 0.9);
    voice.setPressure(0.5);
    EXPECT_DOUBLE_EQ(voice.pressure(), 0.45);
    voice.setBreathBoost(0.5);
    EXPECT_DOUBLE_EQ(voice.breathBoost(), 1.0);
}

// Two identical voices on identical random sequences: one is released, the other holds.
// Without mouth pressure the release leaves the loop alone, so the ratio of their outputs is
// the amplitude envelope, which falls linearly to zero over 128 samples.
TEST(FluteVoice, ReleaseFallsLinearlyToZeroIn128Samples) {
    for (int model : {0, 1}) {
        threadRandom.seed(3);
        auto held = MakeVoice(model, false);
        threadRandom.seed(3);
        auto released = MakeVoice(model, false);
        held->setPressure(0.0);
        released->setPressure(0.0);
        held->noteOn(330.0, 1.0, 64);
        released->noteOn(330.0, 1.0, 64);

        const int sustain = 3000;
        threadRandom.seed(11);
        std::vector<double> a;
        for (int i = 0; i < sustain + 140; ++i) a.push_back(held->process());
        threadRandom.seed(11);
        std::vector<double> b;
        for (int i = 0; i < sustain; ++i) b.push_back(released->process());
        released->release();
        for (int k = 1; k <= 128; ++k) {
            b.push_back(released->process());
            const double expected = (129.0 - k) / 128.0; // full level at the release sample
            if (std::fabs(a[b.size() - 1]) > 1e-9) {
                EXPECT_NEAR(b.back() / a[b.size() - 1], expected, 1e-9) << model << " " << k;
            }
            EXPECT_TRUE(released->isSounding());
        }
        EXPECT_EQ(released->process(), 0.0); // the 129th call
        EXPECT_FALSE(released->isSounding());
        EXPECT_EQ(released->process(), 0.0);
        EXPECT_TRUE(held->isSounding());
    }
}

TEST(FluteVoice, ReleaseDuringTheAttackKeepsRisingUntilTheEnd) {
    threadRandom.seed(4);
    auto held = MakeVoice(1, false);
    threadRandom.seed(4);
    auto released = MakeVoice(1, false);
    held->noteOn(440.0, 5.0, 69); // attack 2000 samples
    released->noteOn(440.0, 5.0, 69);
    threadRandom.seed(6);
    std::vector<double> a;
    for (int i = 0; i < 300; ++i) a.push_back(held->process());
    threadRandom.seed(6);
    std::vector<double> b;
    for (int i = 0; i < 100; ++i) b.push_back(released->process());
    released->release();
    for (int i = 0; i < 128; ++i) b.push_back(released->process());
    for (std::size_t i = 0; i < b.size(); ++i) ASSERT_EQ(a[i], b[i]) << i;
    EXPECT_TRUE(released->isSounding());
    EXPECT_EQ(released->process(), 0.0);
    EXPECT_FALSE(released->isSounding());
}

TEST(FluteVoice, JetGlidesIn256EqualStepsAndIgnoresStepsBelowOneMillionth) {
    auto voice = MakeVoice(1, false);
    voice->noteOn(440.0, 1.0, 69);
    const int length = voice->jet().length();
    EXPECT_EQ(length, static_cast<int>(44100 * 0.5 / 440.0 + 2));

    voice->setJetRatio(0.3, 256);
    EXPECT_EQ(voice->glideLeft(), 256);
    EXPECT_NEAR(voice->glideStep(), -0.00078125, 1e-15);
    double previous = voice->jetRatio();
    for (int i = 0; i < 256; ++i) {
        voice->process();
        EXPECT_NEAR(voice->jetRatio() - previous, -0.00078125, 1e-12) << i;
        previous = voice->jetRatio();
    }
    EXPECT_EQ(voice->glideLeft(), 0);
    EXPECT_NEAR(voice->jetRatio(), 0.3, 1e-12);
    EXPECT_EQ(voice->jet().length(), static_cast<int>(44100 * 0.3 / 440.0 + 2));
    voice->process();
    EXPECT_NEAR(voice->jetRatio(), 0.3, 1e-12);

    // A step under 1e-6 is dropped: neither the ratio nor the jet delay move.
    const double ratio = voice->jetRatio();
    const double coefficient = voice->jet().coefficient();
    voice->setJetRatio(ratio + 2e-4, 256);
    EXPECT_EQ(voice->glideLeft(), 0);
    for (int i = 0; i < 300; ++i) voice->process();
    EXPECT_EQ(voice->jetRatio(), ratio);
    EXPECT_EQ(voice->jet().coefficient(), coefficient);

    // Ratios of 1 and above give the scale itself; steps 0 take the ratio at once.
    voice->setScale(100);
    voice->setJetRatio(1.5, 0);
    EXPECT_EQ(voice->jetRatio(), 100.0);
    voice->setJetRatio(0.25, 0);
    EXPECT_EQ(voice->jetRatio(), 25.0);
    EXPECT_EQ(voice->jet().length(), static_cast<int>(44100 * 25.0 / 440.0 + 2));
}

TEST(FluteVoice, CutoffFollowsTheNoteOrIsAFrequencyInHz) {
    tFluteVoice voice;
    voice.setFollowNote(1);
    voice.setCutoff(1.0);
    EXPECT_DOUBLE_EQ(voice.cutoff(), 1.0); // a factor of the note frequency
    voice.setCutoff(3.0);
    EXPECT_DOUBLE_EQ(voice.cutoff(), 4.0);
    voice.setFollowNote(0);
    voice.setCutoff(1.0);
    EXPECT_NEAR(voice.cutoff(), 86.13, 0.005);
    EXPECT_DOUBLE_EQ(voice.cutoff(), 44100.0 / 512.0);
}

TEST(FluteVoice, OutputFilterTakesTheLatestTypeResonanceAndCutoff) {
    // The module sets resonance and cutoff every block, mostly to what they were.
    auto voice = MakeVoice(1, true);
    voice->noteOn(440.0, 1.0, 69);
    struct tStep {
        int type;
        double resonance, cutoff;
    };
    std::vector<double> out(128);
    for (const tStep& step : {tStep{1, 2.4, 2.38}, tStep{1, 2.4, 2.38}, tStep{1, 6.0, 2.38},
                              tStep{1, 6.0, 1.5}, tStep{3, 6.0, 1.5}, tStep{3, 1.0, 1.5}}) {
        voice->setFilterType(step.type);
        voice->setResonance(step.resonance);
        voice->setCutoff(step.cutoff);
        voice->processBlock(out.data(), 128);
        tLowPass2 fresh;
        fresh.setType(step.type);
        fresh.setResonance(step.resonance);
        fresh.setFrequency(440.0 * std::pow(2.0, step.cutoff - 1.0));
        const tSecondOrderSection& got = voice->outputFilter().second();
        EXPECT_EQ(got.c1(), fresh.second().c1());
        EXPECT_EQ(got.c2(), fresh.second().c2());
        EXPECT_EQ(got.gain(), fresh.second().gain());
    }
}

TEST(FluteVoice, BlockRenderingIsBitIdenticalToProcess) {
    for (int rate : {44100, 96000})
        for (int model : {0, 1}) {
            for (int variant = 0; variant < 3; ++variant) {
                // 0: plain, 1: output filter on, 2: output filter on and a loop that blows up
                // and is reset again and again.
                const bool filterOn = variant > 0;
                threadRandom.seed(5);
                auto a = MakeVoice(model, filterOn, rate);
                threadRandom.seed(5);
                auto b = MakeVoice(model, filterOn, rate);
                for (tFluteVoice* voice : {a.get(), b.get()}) {
                    if (variant < 2) continue;
                    voice->setFeedBore(0.8);
                    voice->setLoopFilter(10.0);
                    voice->setBreathLevel(1.0);
                }
                a->noteOn(392.0, 2.0, 67);
                b->noteOn(392.0, 2.0, 67);
                threadRandom.seed(8);
                std::vector<double> expected;
                std::vector<double> got;
                // Several blocks with a jet glide across one, the live setters between blocks,
                // and a release that ends the note inside a block.
                for (int block = 0; block < 60; ++block) {
                    if (block == 10) a->setJetRatio(0.35, 128);
                    if (block == 20) a->setPressure(0.3);
                    if (block == 50) a->release();
                    for (int i = 0; i < 128; ++i) expected.push_back(a->process());
                }
                threadRandom.seed(8);
                std::vector<double> out(128);
                for (int block = 0; block < 60; ++block) {
                    if (block == 10) b->setJetRatio(0.35, 128);
                    if (block == 20) b->setPressure(0.3);
                    if (block == 50) b->release();
                    b->processBlock(out.data(), 128);
                    got.insert(got.end(), out.begin(), out.end());
                }
                ASSERT_EQ(expected.size(), got.size());
                for (std::size_t i = 0; i < got.size(); ++i)
                    ASSERT_EQ(std::memcmp(&expected[i], &got[i], sizeof(double)), 0)
                        << rate << " model " << model << " variant " << variant << " sample " << i;
                EXPECT_FALSE(b->isSounding());
                EXPECT_EQ(a->isSounding(), b->isSounding());
                EXPECT_EQ(a->count(), b->count());
                EXPECT_EQ(a->loopResets(), b->loopResets());
                if (variant == 2) {
                    EXPECT_GT(b->loopResets(), 0) << "model " << model;
                }
            }
        }
}

TEST(FluteVoice, LongBoreAndJetAreLimitedToTheirBuffers) {
    auto voice = MakeVoice(1, true);
    voice->setBoreScale(10.0);
    voice->setScale(100);
    voice->setJetRatio(1.0, 0);
    voice->noteOn(8.175798915643707, 1.0, 0); // note 0: 53937 samples of bore, 539374 of jet
    EXPECT_EQ(voice->bore().length(), tFluteVoice::kBoreSize);
    EXPECT_EQ(voice->jet().length(), tFluteVoice::kJetSize);
    std::vector<double> out(44100);
    voice->processBlock(out.data(), static_cast<int>(out.size()));
    EXPECT_TRUE(AllFinite(out));
    // The clarinet's half-period bore and a jet glide to the longest ratio stay inside too.
    voice->setModel(0);
    voice->noteOn(8.175798915643707, 1.0, 0);
    voice->setJetRatio(5.0, 1000);
    voice->processBlock(out.data(), 2000);
    EXPECT_EQ(voice->jet().length(), tFluteVoice::kJetSize);
    EXPECT_TRUE(AllFinite(out));
}

TEST(FluteVoice, DivergingClarinetIsResetInsteadOfTurningToNaN) {
    // Breath far louder than the window allows (a patch file may carry it) through a
    // transparent loop filter: the reed polynomial's fifth power throws the loop out of
    // range within a few hundred samples.
    for (double frequency : {440.0, 880.0, 1760.0}) {
        auto voice = MakeVoice(0, true);
        voice->setFeedBore(0.8);
        voice->setLoopFilter(10.0);
        voice->setPressure(1.0);
        voice->setBreathLevel(1.0);
        voice->setLevel(1.0);
        voice->noteOn(frequency, 1.0, 57);
        std::vector<double> out(44100);
        voice->processBlock(out.data(), static_cast<int>(out.size()));
        EXPECT_TRUE(AllFinite(out)) << frequency;
        EXPECT_GT(voice->loopResets(), 0) << frequency;
        double peak = 0.0;
        for (double s : out) peak = std::max(peak, std::fabs(s));
        EXPECT_GT(peak, 0.0);
        // The bore only ever holds guarded values, so the output stays bounded.
        EXPECT_LT(peak, 100.0) << frequency;
        EXPECT_TRUE(voice->isSounding());
    }
}
