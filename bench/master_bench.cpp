// The cost of one second of sound, at 44100 and at 96000 Hz, in 128-frame stereo blocks:
//   BM_MasterStage*   the master stage alone (gain, limiter, VU), as the engine runs it
//   BM_EngineOnePreset  the whole engine (rack, modules, master stage) playing CleanGtr with a
//                       six-note chord struck at the start of every second
//   BM_EngineEveryPreset  the same with all fifteen presets in one rack, each playing a triad
// Each iteration renders one second of sound, so the time per iteration is the cost per
// second of sound; the argument is the sample rate.

#include "catalog/Presets.h"
#include "core/Engine.h"
#include "core/MasterStage.h"
#include "core/Rack.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr int kChannels = 2;

std::vector<double> TestMix() {
    std::vector<double> mix(kFrames * kChannels);
    for (int i = 0; i < kFrames; ++i) {
        mix[2 * i] = 0.6 * std::sin(0.0627 * i);
        mix[2 * i + 1] = 0.6 * std::cos(0.0411 * i);
    }
    return mix;
}

// limiter and vu: the switches' states (the main window starts with both on).
void RunMasterStage(benchmark::State& state, bool limiter, bool vu) {
    const int rate = static_cast<int>(state.range(0));
    tMasterControls controls;
    controls.limiter.Set(limiter);
    controls.vu.Set(vu);
    tMasterStage stage(controls);
    stage.SetSampleRate(rate);
    const std::vector<double> mix = TestMix();
    std::vector<double> out(mix.size());
    const int blocks = rate / kFrames;
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b) stage.Process(mix.data(), kFrames, kChannels, out.data());
        benchmark::DoNotOptimize(out[0]);
    }
}

void BM_MasterStageLimiterAndVu(benchmark::State& state) {
    RunMasterStage(state, true, true);
}
void BM_MasterStageVuOnly(benchmark::State& state) {
    RunMasterStage(state, false, true);
}
void BM_MasterStageScaleOnly(benchmark::State& state) {
    RunMasterStage(state, false, false);
}

tEngineEvent NoteOn(int channel, int key) {
    tEngineEvent event;
    event.size = 3;
    event.bytes[0] = static_cast<std::uint8_t>(0x90 | channel);
    event.bytes[1] = static_cast<std::uint8_t>(key);
    event.bytes[2] = 100;
    return event;
}

// presets: the preset indexes, the n-th on MIDI channel n, each holding keys.
void RunEngine(benchmark::State& state, const std::vector<int>& presets,
               const std::vector<int>& keys) {
    const int rate = static_cast<int>(state.range(0));
    tRack rack;
    tMasterControls controls;
    tMasterStage master(controls);
    tEngine engine(rack, master);
    engine.Prepare(rate, kChannels);
    for (std::size_t p = 0; p < presets.size(); ++p) {
        const std::size_t before = rack.Slots().size();
        AddPreset(rack, presets[p]);
        tRack::tGuard guard(rack);
        for (std::size_t s = before; s < rack.Slots().size(); ++s) {
            rack.Slots()[s]->SwitchOn();
            rack.Slots()[s]->SetChannel(static_cast<int>(p) + 1);
        }
    }
    engine.Prepare(rate, kChannels);
    std::vector<tEngineEvent> chord;
    for (std::size_t p = 0; p < presets.size(); ++p)
        for (const int key : keys) chord.push_back(NoteOn(static_cast<int>(p), key));
    std::vector<double> out(kFrames * kChannels);
    const int blocks = rate / kFrames;
    for (auto _ : state) {
        engine.Process(chord.data(), static_cast<int>(chord.size()), out.data(), kFrames);
        for (int b = 1; b < blocks; ++b) engine.Process(nullptr, 0, out.data(), kFrames);
        benchmark::DoNotOptimize(out[0]);
    }
}

void BM_EngineOnePreset(benchmark::State& state) {
    RunEngine(state, {FindPreset("CleanGtr")}, {48, 55, 60, 64, 67, 72});
}

void BM_EngineEveryPreset(benchmark::State& state) {
    std::vector<int> presets;
    for (int i = 0; i < kPresetCount; ++i) presets.push_back(i);
    RunEngine(state, presets, {60, 64, 67});
}

} // namespace

BENCHMARK(BM_MasterStageLimiterAndVu)->Arg(44100)->Arg(96000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MasterStageVuOnly)->Arg(44100)->Arg(96000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MasterStageScaleOnly)->Arg(44100)->Arg(96000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineOnePreset)->Arg(44100)->Arg(96000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineEveryPreset)->Arg(44100)->Arg(96000)->Unit(benchmark::kMillisecond);
