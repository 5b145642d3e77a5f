// Switching an effects unit on, or resetting it after a block that was not finite, clears its
// delay memories (hundreds of thousands of values) without doing that work in one block: each
// block sets only the entries it is about to read, and the unit sounds exactly as one whose
// memories were all cleared at once.
#include "dsp/LazyClear.h"
#include "effects/Delay.h"
#include "effects/Effects.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {

// A stereo engine at rate with every unit on (the reverb of the given type, the filter still),
// prepared and on, past a quarter of a second of silence: its first block takes the output
// volume, and the PM resonator's line 1 has run once through the length it took when
// prepared (until then its reads trail its writes by one sample).
struct tEngine {
    tEffects effects;
    tTestNoise noise;
    tEngine(int rate, int reverbType, bool chorus) {
        tEffectsControls& c = effects.Controls();
        for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                             &c.chorus.on, &c.reverb.on, &c.delay.on})
            on->Set(1);
        c.chorus.on.Set(chorus);
        c.reverb.type.Set(reverbType);
        c.delay.feedback.Set(1.5);
        c.distortion.softMode.Set(1);
        c.filter.modDepth.Set(0.0);
        effects.SetChannels(2);
        effects.SetSampleRate(rate);
        effects.Prepare();
        effects.SwitchOn();
        Play(rate / 512, 0.0);
    }
    // Blocks of 128 frames of noise; the output values.
    std::vector<double> Play(int blocks, double level = 0.2) {
        std::vector<double> out;
        for (int b = 0; b < blocks; ++b) {
            for (int i = 0; i < 256; ++i) effects.Buffer()[i] = level * noise.next();
            effects.Render(128);
            out.insert(out.end(), effects.Buffer(), effects.Buffer() + 256);
        }
        return out;
    }
};

} // namespace

TEST(EffectsClear, EachBlockClearsOnlyWhatItReads) {
    // Memories full of sound, then switched off and on, or prepared again as the rack does
    // after a block that was not finite: the block that follows sets at most 64 values per
    // frame, and so does every block after it while the clear goes on. The delay's lines
    // (two seconds each) still hold their old values but for what the first block read.
    for (const int rate : {44100, 96000})
        for (const int type : {0, 3}) {
            tEngine engine(rate, type, true);
            engine.Play(5 * rate / 256);
            const auto& delay = static_cast<const tDelay&>(*engine.effects.Unit(7));
            for (const bool switched : {true, false}) {
                if (switched) {
                    engine.effects.SwitchOff();
                    engine.effects.SwitchOn();
                } else {
                    engine.effects.Prepare();
                }
                for (int b = 0; b < 20; ++b) {
                    const long before = tLazyClear::FilledValues();
                    engine.Play(1);
                    EXPECT_LE(tLazyClear::FilledValues() - before, 64 * 128)
                        << rate << " type " << type << (switched ? " switched" : " prepared");
                    if (b > 0 || !switched) continue;
                    int kept = 0;
                    for (int i = 0; i < delay.line(0).length(); ++i)
                        kept += delay.line(0).entry(i) != 0.0;
                    EXPECT_GE(kept, delay.line(0).length() - 2 * 128) << rate << " type " << type;
                }
            }
        }
}

TEST(EffectsClear, AUnitSwitchedOnPlaysAsAFreshOne) {
    // Every unit with memory (the chorus aside: its sweep goes on where it was) played for a
    // second and a half, switched off and on, then fed the same noise as a fresh engine: not
    // a value differs, so nothing from before the switch is heard.
    for (const int rate : {44100, 96000})
        for (const int type : {0, 3}) {
            tEngine used(rate, type, false);
            used.Play(3 * rate / 256);
            used.effects.SwitchOff();
            used.effects.SwitchOn();
            tEngine fresh(rate, type, false);
            fresh.noise = used.noise;
            EXPECT_EQ(used.Play(3 * rate / 256), fresh.Play(3 * rate / 256))
                << rate << " type " << type;
        }
}
