// The flute loop at the ends of its controls: a loop that blows up starts again from silence
// as a whole, so that it never runs away and later notes sound as from a fresh module.
#include "catalog/PresetTexts.h"
#include "catalog/Presets.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "flute/FluteSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The peak of n values (infinity when one is not a number); the values are kept if asked.
double Peak(const double* x, int n, std::vector<double>* kept = nullptr) {
    double peak = 0.0;
    for (int i = 0; i < n; ++i)
        peak = std::isnan(x[i]) ? INFINITY : std::max(peak, std::fabs(x[i]));
    if (kept) kept->insert(kept->end(), x, x + n);
    return peak;
}

double RenderPeak(tFluteSynth& module, int blocks, std::vector<double>* kept = nullptr) {
    double peak = 0.0;
    for (int b = 0; b < blocks; ++b) {
        module.Render(128);
        peak = std::max(peak, Peak(module.Output(), 128, kept));
    }
    return peak;
}

void Blow(tFluteSynth& module) {
    for (int number : {2, 14, 15, 16}) module.Controller(0, number, 127);
    module.NoteOn(60, 127);
}

} // namespace

TEST(FluteLoopGuard, FullBlownNoteStaysBoundedAndLaterNotesSoundNormal) {
    for (int rate : {22050, 44100, 192000}) {
        tFluteSynth module(190, 50);
        module.SetSampleRate(rate);
        module.SwitchOn();
        Blow(module); // pressure, both feedbacks and breath all the way up
        EXPECT_LT(RenderPeak(module, 1000), 10.0) << rate;
        EXPECT_GT(module.Voice(module.CurrentVoice()).loopResets(), 0) << rate;
        for (int number : {2, 14, 15, 16}) module.Controller(0, number, 60);
        module.NoteOn(67, 90);
        const double ordinary = RenderPeak(module, 300);
        EXPECT_GT(ordinary, 1e-3) << rate;
        EXPECT_LT(ordinary, 2.0) << rate;
    }
}

TEST(FluteLoopGuard, ResetsZeroOnlyWhatTheLoopWroteSinceTheLastOne) {
    // A second of ordinary playing fills the jet's ring (the whole buffer), then the loop is
    // blown until it resets again and again: all resets together zero no more than one bore
    // length and the samples written since, however much the jet holds.
    for (int rate : {44100, 192000}) {
        tFluteSynth module(190, 50);
        module.SetSampleRate(rate);
        module.SwitchOn();
        module.NoteOn(45, 127);
        RenderPeak(module, rate / 128);
        const tFluteVoice& voice = module.Voice(module.CurrentVoice());
        const long resets = voice.loopResets();
        const long cleared = voice.guardCleared();
        for (int number : {2, 14, 15, 16}) module.Controller(0, number, 127);
        const int blocks = 400;
        RenderPeak(module, blocks);
        EXPECT_GT(voice.loopResets(), resets + 1) << rate;
        EXPECT_LE(voice.guardCleared() - cleared, voice.bore().length() + blocks * 128L) << rate;
    }
}

TEST(FluteLoopGuard, SwitchingOffAndOnClearsEveryVoiceState) {
    // Two modules play the same notes, one of them with everything blown to the end; once both
    // are switched off and on, a note sounds the same to the last bit on both. (Both draw the
    // same noise: same seed, same number of samples.)
    auto play = [](bool hard) {
        threadRandom.seed(1);
        tFluteSynth module(190, 50);
        module.SwitchOn();
        hard ? Blow(module) : module.NoteOn(60, 127);
        RenderPeak(module, 200);
        module.NoteOn(40, 127);
        RenderPeak(module, 50);
        module.SwitchOff();
        module.SwitchOn();
        for (int number : {2, 14, 15, 16}) module.Controller(0, number, 60);
        module.NoteOn(64, 100);
        std::vector<double> samples;
        RenderPeak(module, 40, &samples);
        return samples;
    };
    EXPECT_EQ(play(true), play(false));
}

TEST(FluteLoopGuard, BrightFluteStaysBoundedUnderControllersAndPitchBend) {
    // At the lowest and highest rates too: the preset with keys 40..79, a new note every 40 blocks
    // released 20 blocks later, controllers 1..26 cycling through their values, pitch bend sweeping
    // (its jumps lengthen the jet within a block) and an all-notes-off every 500 blocks.
    struct tRun {
        int rate;
        int frames;
    };
    for (const tRun run : {tRun{44100, 128}, tRun{44100, 16}, tRun{22050, 128}, tRun{192000, 16}}) {
        const int frames = run.frames;
        tRack rack;
        rack.SetSampleRate(run.rate);
        AddPreset(rack, FindPreset("BrightFlute"));
        rack.SetChannels(2);
        for (tSlot* slot : rack.Slots()) slot->SwitchOn();
        rack.PrepareAll();
        int key = 40;
        double peak = 0.0;
        for (int block = 0; block < 4000; ++block) {
            if (block % 40 == 0) rack.NoteOn(0, key, 100);
            if (block % 40 == 20) rack.NoteOff(0, key);
            if (block % 40 == 20) key = key == 79 ? 40 : key + 1;
            const int number = 1 + block % 26;
            rack.Controller(0, number, (block * 7 + number * 13) % 128);
            rack.Controller(0, -1, (block * 331) % 16384);
            if (block % 500 == 499) rack.AllNotesOff();
            rack.Render(frames);
            for (tSlot* slot : rack.Slots())
                peak = std::max(peak, Peak(slot->Output(), 2 * frames));
            ASSERT_LT(peak, 10.0) << run.rate << " Hz, period " << frames << ", block " << block;
        }
        EXPECT_GT(peak, 0.01) << run.rate << " " << frames;
    }
}
