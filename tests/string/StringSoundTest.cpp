// Sound checks on rendered output of the string module.
#include "StringTestUtil.h"

#include "core/KeyFrequency.h"
#include "string/StringModule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace stringtest;

namespace {

std::unique_ptr<tStringModule> PlayingModule() {
    auto module = std::make_unique<tStringModule>(50, 45);
    module->SwitchOn();
    return module;
}

} // namespace

TEST(StringSound, DefaultPatchSoundsAtTheKeysPitch) {
    for (int key : {40, 57, 69, 81}) {
        auto module = PlayingModule();
        module->NoteOn(key, 100);
        const std::vector<double> out = RenderFrames(*module, 44100);
        const double expected = 44100.0 / KeyFrequency(key);
        // Skip the attack; measure over many periods.
        const std::size_t from = 4410;
        const std::size_t n = 8192;
        const double period = EstimatePeriod(out, from, n, static_cast<int>(expected * 0.7),
                                             static_cast<int>(expected * 1.4));
        const double cents = Cents(44100.0 / period, KeyFrequency(key));
        EXPECT_LT(std::fabs(cents), 10.0) << "key " << key << " period " << period;
    }
}

TEST(StringSound, HeldNoteDecaysInTheLoopAndEndsAfterTheRelease) {
    auto module = PlayingModule();
    tStringControls& c = module->Controls();
    c.output.release.Set(0.1); // 4000 samples
    c.energy.feedback.Set(0.98);
    c.energy.softDamp.Set(0);
    c.energy.offDelay.Set(0);
    module->NoteOn(57, 100);
    const std::vector<double> held = RenderFrames(*module, 3 * 44100);
    const double early = Rms(held, 0, 4410);
    const double late = Rms(held, 2 * 44100, 2 * 44100 + 4410);
    EXPECT_GT(early, 0.0);
    EXPECT_LT(late, early * 0.1);
    EXPECT_TRUE(module->IsActive()); // decayed, but still held

    // The release ramp takes the voice to silence and the module falls inactive.
    module->NoteOff(57);
    const std::vector<double> tail = RenderFrames(*module, 4096, 64);
    EXPECT_NE(tail[100], 0.0);
    for (std::size_t i = 4001; i < tail.size(); ++i) ASSERT_EQ(tail[i], 0.0) << i;
    module->Render(64);
    EXPECT_FALSE(module->IsActive());
}

TEST(StringSound, AmplitudeEnvelopeSilencesTheFirstThreeSamples) {
    for (int mode = 1; mode < 8; ++mode) {
        auto module = PlayingModule();
        tStringControls& c = module->Controls();
        c.output.amplEnv.Set(1);
        c.envelope.envMode.Set(mode);
        c.output.linVelocity.Set(1);
        module->NoteOn(60, 90);
        const std::vector<double> out = RenderFrames(*module, 64, 64);
        EXPECT_EQ(out[0], 0.0) << mode;
        EXPECT_EQ(out[1], 0.0) << mode;
        EXPECT_EQ(out[2], 0.0) << mode;
        EXPECT_NE(out[3], 0.0) << mode;
    }
    // Without an envelope mode the amplitude does not follow the envelope.
    auto module = PlayingModule();
    module->Controls().output.amplEnv.Set(1);
    module->Controls().output.attack.Set(0);
    module->NoteOn(60, 90);
    const std::vector<double> out = RenderFrames(*module, 64, 64);
    EXPECT_NE(out[1], 0.0);
}

TEST(StringSound, AutoPanPutsLowKeysLeftAndHighKeysRight) {
    auto energy = [](int key, bool autoPan) {
        auto module = PlayingModule();
        module->SetChannels(2);
        module->Controls().output.autoPan.Set(autoPan);
        module->NoteOn(key, 100);
        const std::vector<double> out = RenderFrames(*module, 8192);
        double left = 0.0, right = 0.0;
        for (std::size_t i = 0; i < out.size(); i += 2) {
            left += out[i] * out[i];
            right += out[i + 1] * out[i + 1];
        }
        return std::make_pair(left, right);
    };
    const auto low = energy(30, true);
    const auto high = energy(100, true);
    EXPECT_GT(low.first, 2.0 * low.second);
    EXPECT_GT(high.second, 2.0 * high.first);
    const auto centred = energy(30, false);
    EXPECT_EQ(centred.first, centred.second);
}

TEST(StringSound, OutputStaysFiniteOverExtremeSettings) {
    auto module = PlayingModule();
    tStringControls& c = module->Controls();
    c.output.linVelocity.Set(1);
    int configurations = 0;
    for (int extreme = 0; extreme < 2; ++extreme) {
        const bool high = extreme == 1;
        auto slider = [high](tControl& control) {
            control.Set(high ? control.Maximum() : control.Minimum());
        };
        for (tControl* s :
             {&c.energy.frequency,       &c.energy.freqMax,      &c.energy.feedback,
              &c.energy.softDamp,        &c.energy.filterAttack, &c.energy.startFreq,
              &c.energy.offDelay,        &c.energy.offFeedback,  &c.outputFilter.frequency,
              &c.outputFilter.resonance, &c.envelope.envAmpl,    &c.envelope.envSpeed,
              &c.envelope.envSustain,    &c.envelope.envRelease, &c.randomFilter.frequency,
              &c.wave.amplitude,         &c.output.volume,       &c.output.attack,
              &c.output.release,         &c.output.silence,      &c.output.lfoFreq,
              &c.output.lfoAmpl}) {
            slider(*s);
        }
        c.output.dcFilter.Set(high);
        c.output.amplEnv.Set(high);
        c.output.bassBoost.Set(high);
        c.output.modulation.Set(!high);
        c.randomFilter.pink.Set(high);
        c.output.mute.Set(!high);
        for (int wave = 0; wave < 12; ++wave) {
            c.wave.type.Set(wave);
            for (int slope = 0; slope < 8; ++slope) {
                c.outputFilter.slope.Set(slope);
                for (int kind = 0; kind < 5; ++kind) {
                    c.outputFilter.kind.Set(kind);
                    for (int env = 0; env < 8; ++env) {
                        c.envelope.envMode.Set(env);
                        for (int order = 0; order < 4; ++order) {
                            c.energy.filterOrder.Set(order);
                            c.energy.filterFollows.Set((wave + order) % 5);
                            c.outputFilter.filterFollows.Set((slope + env) % 3);
                            const int key = (configurations * 37) % 128;
                            module->NoteOn(key, high ? 127 : 1);
                            module->Controller(0, -1, (configurations * 101) % 16384);
                            module->Render(128);
                            module->Render(128);
                            const double* out = module->Output();
                            for (int i = 0; i < 128; ++i) {
                                ASSERT_TRUE(std::isfinite(out[i]))
                                    << "wave " << wave << " slope " << slope << " kind " << kind
                                    << " env " << env << " order " << order << " key " << key;
                            }
                            module->AllNotesOff();
                            ++configurations;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(configurations, 2 * 12 * 8 * 5 * 8 * 4);
}
