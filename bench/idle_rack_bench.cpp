// What a rack costs while nothing plays, the share of the period the load meter shows: every
// built-in preset in one rack, switched on, no note for 10 s before the measure starts, a
// 128-frame block per iteration at 44100 Hz. sleeping:1 lets voices, instruments and effects
// units sleep; sleeping:0 keeps them all processing. The counter load_percent is the block's
// time as a share of its 2.9 ms.
#include "catalog/Presets.h"
#include "catalog/Sleeping.h"
#include "core/Rack.h"

#include <benchmark/benchmark.h>

namespace {

void BM_IdleRackAllPresets(benchmark::State& state) {
    AllowSleeping(state.range(0) != 0);
    tRack rack;
    rack.SetChannels(2);
    for (int preset = 0; preset < kPresetCount; ++preset) AddPreset(rack, preset);
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots()) slot->SwitchOn();
    }
    rack.SetRendering(true);
    // A chord on every channel, then ten seconds for the sound to die away.
    for (int channel = 0; channel < 16; ++channel)
        for (int key : {48, 52, 55}) rack.NoteOn(channel, key, 100);
    for (int block = 0; block < 345; ++block) rack.Render(128);
    for (int channel = 0; channel < 16; ++channel)
        for (int key : {48, 52, 55}) rack.NoteOff(channel, key);
    for (int block = 0; block < 3445; ++block) rack.Render(128);
    for (auto _ : state) benchmark::DoNotOptimize(rack.Render(128));
    // CPU time per block over the period, in percent.
    state.counters["load_percent"] =
        benchmark::Counter(128.0 / 44100.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    AllowSleeping(true);
}
BENCHMARK(BM_IdleRackAllPresets)->ArgName("sleeping")->Arg(0)->Arg(1);

} // namespace
