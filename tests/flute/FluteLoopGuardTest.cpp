// The flute loop at the ends of its controls: a loop that blows up starts again from silence
// as a whole, so that it never runs away and later notes sound as from a fresh module.
#include "dsp/Random.h"
#include "flute/FluteSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Renders blocks of 128 frames; returns the largest magnitude seen (infinity for NaN).
double RenderPeak(tFluteSynth& module, int blocks, std::vector<double>* samples = nullptr) {
    double peak = 0.0;
    for (int b = 0; b < blocks; ++b) {
        module.Render(128);
        for (int i = 0; i < 128 * module.Channels(); ++i) {
            const double x = module.Output()[i];
            peak = std::isnan(x) ? INFINITY : std::max(peak, std::fabs(x));
            if (samples) samples->push_back(x);
        }
    }
    return peak;
}

void Blow(tFluteSynth& module) {
    for (int number : {2, 14, 15, 16}) module.Controller(0, number, 127);
    module.NoteOn(60, 127);
}

} // namespace

TEST(FluteLoopGuard, FullBlownNoteStaysBoundedAndLaterNotesSoundNormal) {
    tFluteSynth module(190, 50);
    module.SwitchOn();
    Blow(module);
    // About three seconds with pressure, both feedbacks and breath all the way up.
    EXPECT_LT(RenderPeak(module, 1000), 10.0);
    EXPECT_GT(module.Voice(module.CurrentVoice()).loopResets(), 0);

    // An ordinary note afterwards plays at an ordinary level.
    module.NoteOff(60);
    for (int number : {2, 14, 15, 16}) module.Controller(0, number, 60);
    module.NoteOn(67, 90);
    const double ordinary = RenderPeak(module, 300);
    EXPECT_GT(ordinary, 1e-3);
    EXPECT_LT(ordinary, 2.0);
}

TEST(FluteLoopGuard, SwitchingOffAndOnClearsEveryVoiceState) {
    // Two modules play the same notes, one of them with everything blown to the end; once both
    // are switched off and on, a note sounds the same to the last bit on both: no signal
    // memory is left over. (Both draw the same noise: same seed, same number of samples.)
    auto play = [](bool hard) {
        threadRandom.seed(1);
        tFluteSynth module(190, 50);
        module.SwitchOn();
        if (hard)
            Blow(module);
        else
            module.NoteOn(60, 127);
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
    const std::vector<double> played = play(true);
    const std::vector<double> gentle = play(false);
    ASSERT_EQ(played.size(), gentle.size());
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], gentle[i]) << i;
}
