// Effects units against STK's FreeVerb: time per stereo frame in 128-frame blocks of noise.
// Each unit runs alone in the effects engine (with its output stage); "chain_all" runs all
// seven at once. The counter "s_per_frame" is the time per stereo frame.
#include "effects/EffectsModule.h"

#include <stk/FreeVerb.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace {
constexpr int kFrames = 128;

std::vector<double> NoiseBlock(int values) {
    std::vector<double> block(values);
    std::uint64_t state = 12345;
    for (double& x : block) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        x = 0.5 * (static_cast<double>(state >> 11) / static_cast<double>(1ULL << 52) - 1.0);
    }
    return block;
}

void PerFrame(benchmark::State& state) {
    state.counters["s_per_frame"] = benchmark::Counter(
        kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RunEffects(benchmark::State& state, const std::function<void(tEffectsControls&)>& setup) {
    tEffectsModule module(0, 0);
    tEffects& fx = module.Engine();
    setup(fx.Controls());
    module.SetChannels(2);
    module.Prepare();
    module.SwitchOn();
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    for (auto _ : state) {
        std::copy(noise.begin(), noise.end(), fx.Buffer());
        module.Render(kFrames);
        benchmark::DoNotOptimize(fx.Buffer()[0]);
    }
    PerFrame(state);
}

void BM_FreeVerb(benchmark::State& state) {
    stk::Stk::setSampleRate(44100.0);
    stk::FreeVerb reverb;
    stk::StkFrames frames(kFrames, 2);
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    for (auto _ : state) {
        std::copy(noise.begin(), noise.end(), &frames[0]);
        reverb.tick(frames);
        benchmark::DoNotOptimize(frames[0]);
    }
    PerFrame(state);
}
BENCHMARK(BM_FreeVerb);

void BM_Distortion(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) { c.distortion.on.Set(1); });
}
BENCHMARK(BM_Distortion);

void BM_DistortionSoft(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.distortion.on.Set(1);
        c.distortion.softMode.Set(1);
    });
}
BENCHMARK(BM_DistortionSoft);

void BM_UniversalFilter(benchmark::State& state) {
    // 24 dB low pass swept by the LFO.
    RunEffects(state, [](tEffectsControls& c) {
        c.filter.on.Set(1);
        c.filter.order.Set(3);
        c.filter.modDepth.Set(1.0);
    });
}
BENCHMARK(BM_UniversalFilter);

void BM_PMResonator(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) { c.pmResonator.on.Set(1); });
}
BENCHMARK(BM_PMResonator);

void BM_Resonator(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.resonator.on.Set(1);
        c.resonator.stereo.Set(1);
    });
}
BENCHMARK(BM_Resonator);

void BM_Chorus(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) { c.chorus.on.Set(1); });
}
BENCHMARK(BM_Chorus);

void BM_ReverbLow(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.reverb.on.Set(1);
        c.reverb.type.Set(0);
    });
}
BENCHMARK(BM_ReverbLow);

void BM_Reverb4(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.reverb.on.Set(1);
        c.reverb.type.Set(1);
    });
}
BENCHMARK(BM_Reverb4);

void BM_Reverb8(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.reverb.on.Set(1);
        c.reverb.type.Set(3);
    });
}
BENCHMARK(BM_Reverb8);

void BM_Delay(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) { c.delay.on.Set(1); });
}
BENCHMARK(BM_Delay);

void BM_DelayPingPong(benchmark::State& state) {
    RunEffects(state, [](tEffectsControls& c) {
        c.delay.on.Set(1);
        c.delay.pingPong.Set(1);
    });
}
BENCHMARK(BM_DelayPingPong);

void BM_ChainAll(benchmark::State& state) {
    // Every unit on, the reverb at "reverb8", the filter swept.
    RunEffects(state, [](tEffectsControls& c) {
        for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                             &c.chorus.on, &c.reverb.on, &c.delay.on})
            on->Set(1);
        c.reverb.type.Set(3);
        c.filter.order.Set(3);
        c.filter.modDepth.Set(1.0);
        c.resonator.stereo.Set(1);
    });
}
BENCHMARK(BM_ChainAll);
} // namespace
