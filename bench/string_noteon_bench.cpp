// The rack's worst render call under a flood of note-ons, with 1, 4 and 8 string modules on one
// MIDI channel, at the most expensive settings (the lowest keys, the longest strings; "silence"
// 10, the longest pre-roll; a four-pole loop whose coefficients are recomputed every 50 samples
// by the filter attack; the "metal" wave; pink noise; the heaviest output stage). The notes
// reach the modules through the rack's event queue while the rack renders, as MIDI does, so
// the note starts are part of the render calls.
//
// Chord: keys 0 to 23 struck at once. Queue: the queue filled with note-ons (1024, keys 0 to
// 23 over and over). Each iteration strikes the notes and renders 128-frame blocks until no
// event waits and no voice prepares; the iteration's time is the longest of those render
// calls, in processor time of the rendering thread (so that other programs running meanwhile
// do not count). worst_us is the median of the iterations' times (a machine shared with other
// programs disturbs single calls now and then: max_us is the longest call of all) and
// period_percent relates it to one 128-frame period at 44100 Hz (2.9 ms); blocks_to_sound
// counts the blocks until the last note sounds.
#include "core/Rack.h"
#include "core/RackEvent.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr int kVoices = 24;
constexpr double kPeriodSeconds = kFrames / 44100.0;
// A note that is not sounding after this many blocks stops the iteration.
constexpr int kBlockLimit = 20000;

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

bool AnyPreparing(const std::vector<tStringModule*>& modules) {
    for (tStringModule* module : modules)
        for (int i = 0; i < kVoices; ++i)
            if (module->Engine().Slot(i).voice->isPreparing()) return true;
    return false;
}

void NoteOnFlood(benchmark::State& state, int notes) {
    const int moduleCount = static_cast<int>(state.range(0));
    tRack rack;
    rack.SetChannels(2);
    std::vector<tStringModule*> modules;
    for (int m = 0; m < moduleCount; ++m) {
        auto* module = new tStringModule(0, 0);
        rack.Insert(module);
        tRack::tGuard guard(rack);
        MostExpensive(module->Controls());
        module->SwitchOn();
        modules.push_back(module);
    }
    rack.SetRendering(true);
    double blocks = 0.0;
    std::vector<double> worsts;
    for (auto _ : state) {
        rack.AllNotesOff();
        rack.Render(kFrames);
        for (int k = 0; k < notes; ++k) rack.NoteOn(0, k % kVoices, 127);
        double worst = 0.0;
        int block = 0;
        do {
            const double start = ThreadSeconds();
            benchmark::DoNotOptimize(rack.Render(kFrames));
            worst = std::max(worst, ThreadSeconds() - start);
            ++block;
        } while ((rack.WaitingEvents() > 0 || AnyPreparing(modules)) && block < kBlockLimit);
        if (block == kBlockLimit) {
            state.SkipWithError("the struck notes never all sounded");
            break;
        }
        state.SetIterationTime(worst);
        blocks += block;
        worsts.push_back(worst);
    }
    rack.SetRendering(false);
    if (worsts.empty()) return;
    std::sort(worsts.begin(), worsts.end());
    const double median = worsts[worsts.size() / 2];
    state.counters["blocks_to_sound"] = blocks / static_cast<double>(worsts.size());
    state.counters["worst_us"] = median * 1e6;
    state.counters["max_us"] = worsts.back() * 1e6;
    state.counters["period_percent"] = median / kPeriodSeconds * 100.0;
}

void BM_StringNoteOnChord(benchmark::State& state) {
    NoteOnFlood(state, kVoices);
}

void BM_StringNoteOnQueue(benchmark::State& state) {
    NoteOnFlood(state, static_cast<int>(tEventQueue::kCapacity));
}

} // namespace

BENCHMARK(BM_StringNoteOnChord)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StringNoteOnQueue)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
