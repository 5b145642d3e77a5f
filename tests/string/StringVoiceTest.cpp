#include "string/StringVoice.h"
#include "core/KeyFrequency.h"
#include "dsp/Random.h"
#include "string/StringSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A voice started by the engine from its controls, so that it carries a complete patch.
tStringVoice StartedVoice(tStringSynth& engine, int key, int velocity) {
    engine.SwitchOn();
    engine.NoteOn(key, velocity);
    return *engine.Slot(0).voice;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Runs twins of one voice, one through render() and one through tick(), over blocks of
// varying size with the per-block refresh the engine does, a note off part way and the
// voice's end; every sample must match bit for bit.
void ExpectBlockEqualsTicks(const tStringVoice& started, int noteOffAt, int total,
                            const char* what) {
    tStringVoice blocks = started;
    tStringVoice ticks = started;
    static const int sizes[] = {128, 1, 7, 64, 256, 3, 100, 16};
    std::vector<double> out(256);
    int done = 0;
    for (int b = 0; done < total; ++b) {
        const int frames = sizes[b % 8];
        if (done >= noteOffAt && done < noteOffAt + frames) {
            blocks.noteOff();
            ticks.noteOff();
        }
        const double volume = 0.5 + 0.01 * (b % 5);
        // The cutoff glides for a while, then holds (the envelope steps may then be idle).
        const double cutoff = b < 24 ? 3.0 + 0.5 * (b % 7) : 5.0;
        if (!blocks.isSounding()) {
            ASSERT_FALSE(ticks.isSounding()) << what;
            return;
        }
        for (tStringVoice* v : {&blocks, &ticks}) {
            v->setVolume(volume);
            v->setResonance(1.0 + (b % 4));
            v->setCutoff(cutoff, frames);
        }
        blocks.render(out.data(), frames, 1, 1.0, 1.0, false);
        for (int i = 0; i < frames; ++i) {
            const double t = ticks.tick();
            ASSERT_TRUE(SameBits(out[i], t))
                << what << ": sample " << done + i << " block " << out[i] << " tick " << t;
        }
        done += frames;
    }
}

} // namespace

TEST(StringVoice, BlockRenderingEqualsTheSampleBySampleAlgorithm) {
    int cases = 0;
    for (int wave = 0; wave < 12; ++wave) {
        for (int slope = 0; slope < 8; ++slope) {
            tStringSynth engine;
            tStringControls& c = engine.Controls();
            c.wave.type.Set(wave);
            c.outputFilter.slope.Set(slope);
            c.energy.filterOrder.Set((wave + slope) % 4);
            c.energy.filterFollows.Set(slope % 5);
            c.envelope.envMode.Set((wave + 2 * slope) % 8);
            c.envelope.envAmpl.Set(2.0);
            c.envelope.envSustain.Set(0.01);
            c.envelope.envSpeed.Set(0.8);
            c.outputFilter.filterFollows.Set(wave % 3);
            c.output.amplEnv.Set(slope % 2);
            c.output.dcFilter.Set(wave % 2);
            c.output.modulation.Set((wave / 2) % 2);
            c.output.bassBoost.Set(slope % 3 == 0);
            c.output.lfoAmpl.Set(wave % 3 == 0 ? 0.0 : 0.6);
            c.output.lfoFreq.Set(3.0);
            c.output.silence.Set((wave + slope) % 3);
            c.energy.softDamp.Set((wave * slope) % 21);
            c.energy.offDelay.Set(slope % 2 ? 3 : 0);
            c.energy.fixedTime.Set(wave % 2);
            c.energy.filterAttack.Set(20 + wave);
            c.output.release.Set(0.02);
            const int key = 30 + 5 * wave + slope;
            ExpectBlockEqualsTicks(
                StartedVoice(engine, key, 20 + 10 * slope), 3000, 9000,
                ("wave " + std::to_string(wave) + " slope " + std::to_string(slope)).c_str());
            ++cases;
        }
    }
    EXPECT_EQ(cases, 96);
}

TEST(StringVoice, StereoBlocksScaleEachChannel) {
    tStringSynth engine;
    const tStringVoice started = StartedVoice(engine, 64, 100);
    tStringVoice mono = started;
    tStringVoice stereo = started;
    std::vector<double> m(128), s(256, 1.0);
    mono.render(m.data(), 128, 1, 1.0, 1.0, false);
    stereo.render(s.data(), 128, 2, 0.25, 1.75, true);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(s[2 * i], 1.0 + 0.25 * m[i]);
        EXPECT_EQ(s[2 * i + 1], 1.0 + 1.75 * m[i]);
    }
}

TEST(StringVoice, ReleaseEndsTheVoiceAfterRSamplesWhateverThePreRoll) {
    for (int silence : {0, 3}) {
        tStringSynth engine;
        engine.Controls().output.release.Set(0.05); // R = 2000
        engine.Controls().output.silence.Set(silence);
        tStringVoice voice = StartedVoice(engine, 69, 100);
        for (int i = 0; i < 500; ++i) voice.tick();
        voice.noteOff();
        double previousGainSample = 1.0;
        int ticks = 0;
        while (voice.isSounding() && ticks < 10000) {
            const double x = voice.tick();
            if (ticks == 2000) previousGainSample = x; // the ramp's last step: gain 0
            ++ticks;
        }
        EXPECT_EQ(previousGainSample, 0.0);
        // 2001 samples on the ramp (the last at gain 0); the next tick finds the end.
        EXPECT_EQ(ticks, 2002) << "silence " << silence;
        EXPECT_EQ(voice.tick(), 0.0);
    }
}

TEST(StringVoice, PreRollDelaysTheAudibleStart) {
    // The same burst heard at once and after three unheard periods: past the attack ramp the
    // pre-rolled voice plays exactly what the other plays S samples later.
    auto start = [](int silence) {
        threadRandom.seed(1); // the same noise for both bursts
        tStringSynth engine;
        engine.Controls().energy.softDamp.Set(0);
        engine.Controls().energy.filterAttack.Set(0);
        engine.Controls().output.silence.Set(silence);
        return StartedVoice(engine, 69, 100);
    };
    tStringVoice fresh = start(0);
    tStringVoice rolled = start(3);
    const int s = static_cast<int>(std::floor(3 * 44100 / KeyFrequency(69) + 0.5));
    for (int i = 0; i < s; ++i) fresh.tick();
    int compared = 0;
    for (int now = 0; now < 3000; ++now) {
        const double x = fresh.tick();
        const double y = rolled.tick();
        if (now < 200) continue; // the pre-rolled voice is still on its attack ramp
        ASSERT_EQ(x, y) << now;
        compared += x != 0.0;
    }
    EXPECT_GT(compared, 2000);
}

// Two voices side by side give what one after the other gives, bit for bit: strings of
// different lengths and feedback schedules, inverted loops, one loop running away (its guard
// acts in one half only), sections at another rate, sampled waves, output stages alike (with
// envelope steps, tremolo, dc filter and the release's ramp) and unlike, and settings that make
// the pair go on one voice after the other; mono and stereo, first into the block or added.
TEST(StringVoice, PairsSoundAsOneVoiceAfterTheOther) {
    struct tCase {
        int orderA, orderB, softDamp, offDelay, modulation, slopeA, slopeB, rate;
        double feedback;
        int wave, dc, envMode, amplEnv;
        double lfo;
    };
    const tCase cases[] = {
        {1, 1, 20, 26, 0, 0, 0, 44100, 0.984, 0, 0, 0, 0, 0.0},
        {4, 4, 0, 5, 1, 0, 0, 44100, 0.99, 0, 0, 0, 0, 0.0},
        {2, 2, 7, 0, 1, 0, 0, 48000, 0.995, 0, 0, 0, 0, 0.0},
        {3, 3, 0, 0, 0, 0, 0, 44100, 1.8, 0, 0, 0, 0, 0.0},
        {1, 2, 0, 0, 0, 0, 2, 44100, 0.98, 0, 0, 0, 0, 0.0},
        {4, 4, 15, 0, 1, 0, 0, 96000, 1.005, 0, 0, 0, 0, 0.0},
        {1, 1, 0, 0, 0, 2, 2, 44100, 0.99, 0, 1, 1, 0, 0.6},  // output stages alike
        {2, 2, 7, 0, 1, 3, 3, 48000, 0.995, 9, 0, 2, 1, 0.0}, // "piano2", "+12 dB", ampl-env
        {4, 4, 0, 0, 1, 7, 7, 44100, 1.2, 10, 1, 4, 0, 0.3},  // "metal", a loop running away
        {3, 3, 0, 0, 0, 5, 6, 96000, 0.99, 9, 0, 1, 0, 0.0},  // output stages unlike
    };
    for (const tCase& k : cases) {
        auto start = [&k](int key, int order, int slope, double feedback) {
            tStringSynth engine;
            engine.SetSampleRate(k.rate);
            tStringControls& c = engine.Controls();
            c.energy.filterOrder.Set(order - 1);
            c.energy.softDamp.Set(k.softDamp);
            c.energy.offDelay.Set(k.offDelay);
            c.energy.feedback.SetRaw(feedback);
            c.output.modulation.Set(k.modulation);
            c.outputFilter.slope.Set(slope);
            c.output.release.Set(0.01);
            c.wave.type.Set(k.wave);
            c.output.dcFilter.Set(k.dc);
            c.output.lfoAmpl.Set(k.lfo);
            c.output.amplEnv.Set(k.amplEnv);
            c.envelope.envMode.Set(k.envMode);
            c.envelope.envAmpl.Set(2.0);
            return StartedVoice(engine, key, 100);
        };
        const tStringVoice a = start(47, k.orderA, k.slopeA, k.feedback);
        // The second voice's loop does not grow.
        const tStringVoice b = start(88, k.orderB, k.slopeB, std::min(k.feedback, 0.999));
        for (const int channels : {1, 2}) {
            tStringVoice pa = a, pb = b, sa = a, sb = b;
            std::vector<double> paired(512), single(512);
            static const int sizes[] = {128, 37, 1, 128, 64, 100};
            for (int block = 0; block < 120; ++block) {
                const int frames = sizes[block % 6];
                const bool add = block % 3 != 0;
                if (block == 80) {
                    pa.noteOff();
                    sa.noteOff();
                }
                for (int i = 0; i < frames * channels; ++i) paired[i] = single[i] = 0.25 * i;
                tStringVoice::renderPair(pa, 0.5, 1.5, pb, 1.25, 0.75, paired.data(), frames,
                                         channels, add);
                sa.render(single.data(), frames, channels, 0.5, 1.5, add);
                sb.render(single.data(), frames, channels, 1.25, 0.75, true);
                ASSERT_EQ(
                    std::memcmp(paired.data(), single.data(), frames * channels * sizeof(double)),
                    0)
                    << "case order " << k.orderA << " slope " << k.slopeA << " wave " << k.wave
                    << " rate " << k.rate << " channels " << channels << " block " << block;
                ASSERT_EQ(pa.isSounding(), sa.isSounding());
            }
        }
    }
}
