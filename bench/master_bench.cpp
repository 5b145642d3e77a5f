// The master stage on one 128-frame stereo block, as the audio callback runs it.

#include "core/MasterStage.h"

#include <benchmark/benchmark.h>

#include <cmath>
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
    tMasterControls controls;
    controls.limiter.Set(limiter);
    controls.vu.Set(vu);
    tLoadCounters counters;
    tMasterStage stage(controls, counters);
    const std::vector<double> mix = TestMix();
    for (auto _ : state) {
        benchmark::DoNotOptimize(stage.Process(mix.data(), kFrames, kChannels, 4));
        benchmark::DoNotOptimize(stage.Samples()[0]);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_MasterStageLimiterAndVu(benchmark::State& state) {
    RunMasterStage(state, true, true);
}
void BM_MasterStageVuOnly(benchmark::State& state) {
    RunMasterStage(state, false, true);
}
void BM_MasterStageConvertOnly(benchmark::State& state) {
    RunMasterStage(state, false, false);
}

} // namespace

BENCHMARK(BM_MasterStageLimiterAndVu);
BENCHMARK(BM_MasterStageVuOnly);
BENCHMARK(BM_MasterStageConvertOnly);
