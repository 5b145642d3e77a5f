// An effects unit sleeps while its input is silent and its state has died away (the units at
// the start of its chain first, while those behind them still sound), and wakes as if it had
// never slept: renders with sleeping allowed and not allowed give the same 16-bit
// samples, at most one step apart where a value crosses a step.
#include "catalog/Presets.h"
#include "core/MasterStage.h"
#include "dsp/Random.h"
#include "effects/EffectsModule.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

constexpr int kBlock = 128;

// The preset on channel 1 at 44100 Hz: a chord held for a second, 18 seconds of rest (the
// longest tails die away in 15), the chord again and three seconds of tail. The rack's mix,
// and the blocks its unit slept.
std::vector<double> PlayPreset(int preset, int channels, bool sleeping, long& slept, long& partly) {
    threadRandom.seed(1);
    tRack rack;
    rack.SetChannels(channels);
    AddPreset(rack, preset);
    tEffectsModule* unit = nullptr;
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots()) {
            slot->SwitchOn();
            if (auto* effects = dynamic_cast<tEffectsModule*>(slot)) unit = effects;
        }
    }
    unit->Engine().SetSleepAllowed(sleeping);
    rack.SetRendering(true);
    auto block = [](double seconds) { return static_cast<long>(seconds * 44100 / kBlock); };
    std::vector<double> mix;
    for (long b = 0; b < block(23.0); ++b) {
        for (const int key : {60, 64, 67}) {
            if (b == block(0.0) || b == block(19.0)) rack.NoteOn(0, key, 100);
            if (b == block(1.0) || b == block(20.0)) rack.NoteOff(0, key);
        }
        const double* out = rack.Render(kBlock);
        mix.insert(mix.end(), out, out + channels * kBlock);
    }
    slept = unit->Engine().SleptBlocks();
    partly = unit->Engine().PartlySleptBlocks();
    return mix;
}

// A stereo engine at rate, set up, prepared and on.
struct tEngine {
    tEffects effects;
    tTestNoise noise;
    tEngine(int rate, bool sleeping, const std::function<void(tEffectsControls&)>& setup) {
        setup(effects.Controls());
        effects.SetSleepAllowed(sleeping);
        effects.SetChannels(2);
        effects.SetSampleRate(rate);
        effects.Prepare();
        effects.SwitchOn();
    }
    void Play(int blocks, double level, std::vector<double>& out) {
        for (int b = 0; b < blocks; ++b) {
            for (int i = 0; i < 2 * kBlock; ++i) effects.Buffer()[i] = level * noise.next();
            effects.Render(kBlock);
            out.insert(out.end(), effects.Buffer(), effects.Buffer() + 2 * kBlock);
        }
    }
};

} // namespace

TEST(EffectsSleep, EveryPresetSoundsAsWithoutSleeping) {
    // At the loudest master volume; the unit sleeps during the rest and wakes with the chord.
    const double gain = tMasterStage::GainForVolume(4.0);
    for (const int channels : {1, 2}) {
        int units = 0;
        int sleepers = 0;
        int partSleepers = 0;
        for (int p = 0; p < kPresetCount; ++p) {
            if (PresetTable()[p].effects == nullptr) continue;
            ++units;
            long slept = 0;
            long partly = 0;
            long never = 0;
            long neverPartly = 0;
            const std::vector<double> awake = PlayPreset(p, channels, false, never, neverPartly);
            const std::vector<double> dozing = PlayPreset(p, channels, true, slept, partly);
            ASSERT_EQ(awake.size(), dozing.size());
            int worst = 0;
            for (std::size_t i = 0; i < awake.size(); ++i)
                worst = std::max(worst, std::abs(tMasterStage::ToSample(awake[i] * gain) -
                                                 tMasterStage::ToSample(dozing[i] * gain)));
            EXPECT_LE(worst, 1) << PresetTable()[p].label << " " << channels;
            EXPECT_EQ(never + neverPartly, 0);
            sleepers += slept > 0;
            partSleepers += partly > 0;
        }
        EXPECT_EQ(sleepers, units) << channels;
        // Most units have a tail at the end of the chain (echo, reverb) that outlasts the rest:
        // the units ahead of it sleep first.
        EXPECT_GE(2 * partSleepers, units) << channels;
    }
}

TEST(EffectsSleep, UnitsWakeInStepAfterSettingsChangedInTheirSleep) {
    // Noise, silence until the unit sleeps, a setting written while it sleeps, noise, silence:
    // units whose state moves on without input (the chorus sweep, the filter's LFO, the
    // ping-pong pan), the PM resonator behind a resonant filter, and a reverb whose last four
    // combs still hold a tail from before it ran only four, against the same never asleep.
    using tSetup = std::function<void(tEffectsControls&)>;
    const std::pair<tSetup, tSetup> cases[] = {
        {[](tEffectsControls& c) { c.chorus.on.Set(1); },
         [](tEffectsControls& c) { c.chorus.frequency.Set(40); }},
        {[](tEffectsControls& c) {
             c.filter.on.Set(1);
             c.filter.modDepth.Set(2.0);
             c.filter.resonance.Set(0.9);
         },
         [](tEffectsControls& c) { c.filter.modFreq.Set(0.3); }},
        {[](tEffectsControls& c) {
             c.delay.on.Set(1);
             c.delay.pingPong.Set(1);
         },
         [](tEffectsControls& c) { c.delay.volume.Set(2.0); }},
        {[](tEffectsControls& c) {
             c.filter.on.Set(1);
             c.filter.resonance.Set(0.8);
             c.pmResonator.on.Set(1);
         },
         [](tEffectsControls& c) { c.pmResonator.resoMode.Set(0.9); }},
        {[](tEffectsControls& c) {
             c.reverb.on.Set(1);
             c.reverb.type.Set(3);
         },
         [](tEffectsControls& c) { c.reverb.type.Set(3); }},
    };
    for (const auto& [setup, change] : cases)
        for (const int rate : {44100, 96000}) {
            const int second = rate / kBlock;
            const std::string where =
                std::to_string(&setup - &cases[0].first) + " " + std::to_string(rate);
            std::vector<double> out[2];
            for (const bool sleeping : {false, true}) {
                tEngine engine(rate, sleeping, setup);
                tControl& type = engine.effects.Controls().reverb.type;
                const int reverbType = type.Index();
                std::vector<double>& y = out[sleeping];
                engine.Play(second, 0.5, y);
                type.Set(1);
                engine.Play(second / 2, 0.5, y);
                engine.Play(10 * second, 0.0, y);
                type.Set(reverbType);
                EXPECT_EQ(engine.effects.Asleep(), sleeping) << where;
                change(engine.effects.Controls());
                engine.Play(second, 0.5, y);
                engine.Play(second, 0.0, y);
                EXPECT_EQ(engine.effects.SleptBlocks() > 0, sleeping) << where;
            }
            double worst = 0.0;
            for (std::size_t i = 0; i < out[0].size(); ++i)
                worst = std::max(worst, std::fabs(out[0][i] - out[1][i]));
            EXPECT_LT(worst, 1e-6) << where;
        }
}
