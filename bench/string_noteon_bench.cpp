// The string module's worst block under a flood of note-ons: 24 notes struck at once at the
// most expensive settings (key 0, the longest string; "silence" 10, the longest pre-roll; a
// four-pole loop whose coefficients are recomputed every 50 samples by the filter attack; the
// "metal" wave; pink noise; the heaviest output stage). The notes reach the module through the
// rack's event queue at the start of a block, as MIDI does.
//
// Each iteration strikes the notes and renders blocks until every voice sounds; its time is the
// longest of those render calls, in processor time of the rendering thread (so that other
// programs running meanwhile do not count). period_percent relates it to one 128-frame period
// (128 / 44100 s = 2.9 ms); blocks_to_sound counts the blocks until the last voice sounds.
#include "core/Rack.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

namespace {

constexpr int kFrames = 128;
constexpr int kVoices = 24;
constexpr double kPeriodSeconds = kFrames / 44100.0;
// A voice that is not sounding after this many blocks stops the iteration.
constexpr int kBlockLimit = 2000;

void MostExpensive(tStringControls& c) {
    c.top.voices.Set(11); // "24"
    c.output.silence.Set(10.0);
    c.energy.filterOrder.Set(3); // four loop filters
    c.energy.filterFollows.Set(1);
    c.energy.filterAttack.Set(200.0);
    c.energy.fixedTime.Set(0);
    c.energy.startFreq.Set(0.1);
    c.energy.softDamp.Set(20.0);
    c.energy.offDelay.Set(100.0);
    c.wave.type.Set(10); // "metal"
    c.randomFilter.pink.Set(1);
    c.outputFilter.slope.Set(7); // "+24 dB"
    c.outputFilter.kind.Set(3);
    c.outputFilter.resonance.Set(0.5);
    c.outputFilter.filterFollows.Set(2);
    c.envelope.envMode.Set(1);
    c.envelope.envAmpl.Set(2.0);
    c.output.amplEnv.Set(1);
    c.output.lfoAmpl.Set(1.0);
    c.output.lfoFreq.Set(5.0);
    c.output.dcFilter.Set(1);
    c.output.bassBoost.Set(1);
    c.output.autoPan.Set(1);
}

// The calling thread's processor time in seconds: the work of a block, without the time the
// thread waits while other programs run.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

int SoundingVoices(tStringModule& module) {
    int sounding = 0;
    for (int i = 0; i < kVoices; ++i) {
        if (module.Engine().Slot(i).voice->isSounding()) ++sounding;
    }
    return sounding;
}

void BM_StringNoteOnFlood(benchmark::State& state) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tStringModule(0, 0);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        MostExpensive(module->Controls());
        module->SwitchOn();
    }
    double blocks = 0.0;
    double worstSum = 0.0;
    for (auto _ : state) {
        rack.AllNotesOff();
        rack.Render(kFrames);
        for (int k = 0; k < kVoices; ++k) rack.NoteOn(0, 0, 127);
        double worst = 0.0;
        int block = 0;
        do {
            const double start = ThreadSeconds();
            benchmark::DoNotOptimize(rack.Render(kFrames));
            worst = std::max(worst, ThreadSeconds() - start);
            ++block;
        } while (SoundingVoices(*module) < kVoices && block < kBlockLimit);
        if (block == kBlockLimit) {
            state.SkipWithError("the struck voices never all sounded");
            return;
        }
        state.SetIterationTime(worst);
        blocks += block;
        worstSum += worst;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["blocks_to_sound"] = blocks / iterations;
    state.counters["period_percent"] = worstSum / iterations / kPeriodSeconds * 100.0;
}

} // namespace

BENCHMARK(BM_StringNoteOnFlood)->UseManualTime()->Unit(benchmark::kMillisecond);
