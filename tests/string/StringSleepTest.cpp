// Voices that have decayed far below hearing sleep: the module's 16-bit output stays what it is
// without sleeping (at most 1 LSB where the mix crosses a rounding step), notes keep their voices
// and end when they would have, and a module whose voices all sleep stays silent until a note
// arrives. The output filter's designs for a run of envelope steps equal the filter's own.
#include "catalog/PresetTexts.h"
#include "dsp/LowPass.h"
#include "dsp/Random.h"
#include "string/OutputDesign.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

struct tRender {
    std::vector<int> samples;  // the output at full scale, truncated as the sound card gets it
    std::vector<int> sounding; // voices sounding after each block
    int asleepBlocks = 0;      // blocks after which a voice slept
    int silentWhileHeld = 0;   // blocks in which every voice slept while keys were held
    bool wokeOnTheNextBlock = true;
};

// A chord held until its voices have decayed, a note struck into it, all released; then a note
// alone. Stereo with auto pan, so that every voice has its own place in the mix.
tRender Play(const char* patch, bool sleep) {
    tStringSynth::SetSleeping(sleep);
    threadRandom.seed(1);
    tStringModule m(0, 0);
    std::istringstream in(patch);
    m.ReadPatch("p", in);
    m.SetChannels(2);
    m.Controls().output.autoPan.Set(1);
    m.SwitchOn();
    tRender r;
    const int chord[] = {72, 79, 84, 91};
    for (int block = 0; block < 7000; ++block) {
        if (block == 0)
            for (int key : chord) m.NoteOn(key, 100);
        if (block == 5000) m.NoteOn(96, 90);
        if (block == 5600)
            for (int key : {72, 79, 84, 91, 96}) m.NoteOff(key);
        if (block == 6000) m.NoteOn(60, 110);
        const bool allAsleepBefore =
            block > 0 && m.Engine().Slot(0).voice->isAsleep() && !m.IsActive();
        m.Render(128);
        int sounding = 0;
        bool asleep = false;
        for (int i = 0; i < tStringSynth::kVoiceSlots; ++i) {
            sounding += m.Engine().Slot(i).voice->isSounding();
            asleep = asleep || m.Engine().Slot(i).voice->isAsleep();
        }
        r.sounding.push_back(sounding);
        r.asleepBlocks += asleep;
        if (block < 5000 && sounding == 4 && !m.IsActive()) ++r.silentWhileHeld;
        if (allAsleepBefore && block == 5000) r.wokeOnTheNextBlock = m.IsActive();
        for (int i = 0; i < 256; ++i)
            r.samples.push_back(m.IsActive() ? static_cast<int>(m.Output()[i] * 32768.0) : 0);
    }
    tStringSynth::SetSleeping(true);
    return r;
}

} // namespace

TEST(StringSleep, EveryPresetSoundsAsWithoutSleepingWithinOneStep) {
    int presetsThatSlept = 0;
    for (int preset = 0; preset < kPresetCount; ++preset) {
        const char* patch = PresetTable()[preset].string;
        if (patch == nullptr) continue;
        SCOPED_TRACE(PresetTable()[preset].label);
        const tRender awake = Play(patch, false);
        const tRender sleeping = Play(patch, true);
        EXPECT_EQ(awake.asleepBlocks, 0);
        // Notes keep their voices and end at the same block.
        EXPECT_EQ(sleeping.sounding, awake.sounding);
        int differences = 0;
        for (std::size_t i = 0; i < awake.samples.size(); ++i) {
            const int d = std::abs(sleeping.samples[i] - awake.samples[i]);
            ASSERT_LE(d, 1) << "sample " << i / 2;
            differences += d;
        }
        // A step crossed now and then, never more.
        EXPECT_LE(differences, 100);
        EXPECT_TRUE(sleeping.wokeOnTheNextBlock);
        if (sleeping.silentWhileHeld > 0) ++presetsThatSlept;
    }
    // Most presets' chords fall silent enough within the hold to sleep whole.
    EXPECT_GE(presetsThatSlept, 7);
}

// A loop that will grow never sleeps, however quiet it is: here the string dies away at a
// feedback of 0.6 until the off-feedback of 1.05 takes over and brings it back.
TEST(StringSleep, ALoopThatWillGrowStaysAwake) {
    std::vector<double> out[2];
    for (const bool sleep : {false, true}) {
        tStringSynth::SetSleeping(sleep);
        threadRandom.seed(1);
        tStringModule m(0, 0);
        m.SwitchOn();
        m.Controls().energy.feedback.Set(0.6);
        m.Controls().energy.softDamp.Set(0.0);
        m.Controls().energy.offDelay.Set(100.0);
        m.Controls().energy.offFeedback.SetRaw(1.05);
        m.NoteOn(84, 100);
        for (int block = 0; block < 310; ++block) {
            m.Render(128);
            EXPECT_TRUE(m.IsActive());
            out[sleep].insert(out[sleep].end(), m.Output(), m.Output() + 128);
        }
    }
    tStringSynth::SetSleeping(true);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_GT(std::fabs(out[1].back()) + std::fabs(out[1][out[1].size() - 20]), 1e-6);
}

TEST(StringOutputDesign, RowsOfCutoffsGetTheFiltersOwnCoefficients) {
    // Odd cutoffs, then a sweep that makes the row longer than the design takes at a time.
    double cutoffs[151] = {-5.0,    0.0,     19.9,    20.0,    440.0, 3637.4, 3637.400001,
                           12000.0, 18374.9, 18375.1, 30000.0, 1e9,   NAN,    7.25};
    constexpr int n = sizeof cutoffs / sizeof cutoffs[0];
    for (int i = 14; i < n; ++i) cutoffs[i] = 25.0 * i * (i % 3 == 0 ? 1.0 : 1.5);
    tLowPass1 lp1;
    tLowPass2 lp2;
    tLowPass3 lp3;
    tLowPass4 lp4;
    for (const int rate : {44100, 22050, 96000}) {
        for (const int kind : {0, 1, 2, 3, 4}) {
            for (const double resonance : {1.0, 1.5, 7.7, 11.0}) {
                lp1.setSampleRate(rate);
                for (tFilter* f : {static_cast<tFilter*>(&lp2), static_cast<tFilter*>(&lp3),
                                   static_cast<tFilter*>(&lp4)}) {
                    f->setSampleRate(rate);
                    f->setType(kind);
                    f->setResonance(resonance);
                }
                const tOutputDesign designs[] = {tOutputDesign::of(lp1), tOutputDesign::of(lp2),
                                                 tOutputDesign::of(lp3), tOutputDesign::of(lp4)};
                for (int order = 1; order <= 4; ++order) {
                    tOutputCoefficients row[n];
                    designs[order - 1].design(cutoffs, n, row);
                    for (int i = 0; i < n; ++i) {
                        double k[6] = {};
                        if (order == 1) {
                            lp1.setFrequency(cutoffs[i]);
                            const double own[] = {lp1.first().b0(), lp1.first().a1()};
                            std::memcpy(k, own, sizeof own);
                        } else if (order == 2) {
                            lp2.setFrequency(cutoffs[i]);
                            const tSecondOrderSection& s = lp2.second();
                            const double own[] = {s.gain(), s.c1(), s.c2()};
                            std::memcpy(k, own, sizeof own);
                        } else if (order == 3) {
                            lp3.setFrequency(cutoffs[i]);
                            const tSecondOrderSection& s = lp3.second();
                            const double own[] = {lp3.first().b0(), lp3.first().a1(), s.gain(),
                                                  s.c1(), s.c2()};
                            std::memcpy(k, own, sizeof own);
                        } else {
                            lp4.setFrequency(cutoffs[i]);
                            const tSecondOrderSection& a = lp4.first();
                            const tSecondOrderSection& b = lp4.second();
                            const double own[] = {a.gain(), a.c1(), a.c2(),
                                                  b.gain(), b.c1(), b.c2()};
                            std::memcpy(k, own, sizeof own);
                        }
                        const int used = order == 1 ? 2 : order == 2 ? 3 : order == 3 ? 5 : 6;
                        ASSERT_EQ(std::memcmp(k, row[i].k, used * sizeof(double)), 0)
                            << "order " << order << " kind " << kind << " resonance " << resonance
                            << " rate " << rate << " cutoff " << cutoffs[i];
                    }
                }
            }
        }
    }
}
