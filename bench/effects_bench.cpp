// Effects units against STK's FreeVerb: time per stereo frame in 128-frame blocks of noise.
// Each unit runs alone in the effects engine (with its output stage); "chain_all" runs all
// seven at once. The counter "s_per_frame" is the time per stereo frame. The goals, reverb
// "8" at most 0.35 and all seven units at most 1.0 times FreeVerb's time, are measured as
// ratios by alternating the two on one thread ("ratio" beside "goal", "met" 1 when it holds);
// a chain asleep on silent input gives the cost of a module with nothing to play. The full
// chain also
// runs a second of sound per iteration at 44100 and 96000 Hz, and eight effects units, their
// memories full, are switched on (or reset after a block that was not finite) in one block:
// that block's time (CPU time of the thread) is the iteration time; "p99_ms" and "max_ms"
// give the 99th percentile and the longest of them.
#include "effects/EffectsModule.h"

#include <stk/FreeVerb.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
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

// A stereo effects module set up, prepared and on.
template <class tSetup> std::unique_ptr<tEffectsModule> PreparedUnit(const tSetup& setup) {
    auto module = std::make_unique<tEffectsModule>(0, 0);
    setup(module->Engine().Controls());
    module->SetChannels(2);
    module->Prepare();
    module->SwitchOn();
    return module;
}

void RunEffects(benchmark::State& state, const std::function<void(tEffectsControls&)>& setup) {
    const std::unique_ptr<tEffectsModule> owned = PreparedUnit(setup);
    tEffectsModule& module = *owned;
    tEffects& fx = module.Engine();
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

// Every unit on, the reverb at "reverb8", the filter swept.
void EveryUnit(tEffectsControls& c) {
    for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                         &c.chorus.on, &c.reverb.on, &c.delay.on})
        on->Set(1);
    c.reverb.type.Set(3);
    c.filter.order.Set(3);
    c.filter.modDepth.Set(1.0);
    c.resonator.stereo.Set(1);
}

void BM_ChainAll(benchmark::State& state) {
    RunEffects(state, EveryUnit);
}
BENCHMARK(BM_ChainAll);

// The CPU time of this thread (the machine may be shared: other threads' time is left out).
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Batches of 16 blocks of FreeVerb and of the effects unit in turn, each batch timed on the
// thread's clock, so that both meet the same load: the unit's time over FreeVerb's.
void RatioToFreeVerb(benchmark::State& state, void (*setup)(tEffectsControls&), double goal) {
    constexpr int kBatch = 16;
    stk::Stk::setSampleRate(44100.0);
    stk::FreeVerb reverb;
    stk::StkFrames frames(kFrames, 2);
    const std::unique_ptr<tEffectsModule> owned = PreparedUnit(setup);
    tEffectsModule& module = *owned;
    tEffects& fx = module.Engine();
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    double reference = 0.0;
    double unit = 0.0;
    for (auto _ : state) {
        double start = ThreadSeconds();
        for (int b = 0; b < kBatch; ++b) {
            std::copy(noise.begin(), noise.end(), &frames[0]);
            reverb.tick(frames);
            benchmark::DoNotOptimize(frames[0]);
        }
        reference += ThreadSeconds() - start;
        start = ThreadSeconds();
        for (int b = 0; b < kBatch; ++b) {
            std::copy(noise.begin(), noise.end(), fx.Buffer());
            module.Render(kFrames);
            benchmark::DoNotOptimize(fx.Buffer()[0]);
        }
        unit += ThreadSeconds() - start;
    }
    const double ratio = reference > 0.0 ? unit / reference : 0.0;
    const double perFrame = 1e9 / (static_cast<double>(state.iterations()) * kBatch * kFrames);
    state.counters["ns_per_frame"] = unit * perFrame;
    state.counters["freeverb_ns_per_frame"] = reference * perFrame;
    state.counters["ratio"] = ratio;
    state.counters["goal"] = goal;
    state.counters["met"] = ratio <= goal ? 1.0 : 0.0;
}

void ReverbEight(tEffectsControls& c) {
    c.reverb.on.Set(1);
    c.reverb.type.Set(3);
}

void BM_GoalReverb8VsFreeVerb(benchmark::State& state) {
    RatioToFreeVerb(state, ReverbEight, 0.35);
}
BENCHMARK(BM_GoalReverb8VsFreeVerb);

void BM_GoalChainAllVsFreeVerb(benchmark::State& state) {
    RatioToFreeVerb(state, EveryUnit, 1.0);
}
BENCHMARK(BM_GoalChainAllVsFreeVerb);

void BM_ChainAllAsleep(benchmark::State& state) {
    // Every unit on, silent input after a second of noise: once the tails have died away the
    // module sleeps; the time per frame of a block then.
    const std::unique_ptr<tEffectsModule> owned = PreparedUnit(EveryUnit);
    tEffectsModule& module = *owned;
    tEffects& fx = module.Engine();
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    for (int b = 0; b < 44100 / kFrames; ++b) {
        std::copy(noise.begin(), noise.end(), fx.Buffer());
        module.Render(kFrames);
    }
    for (int b = 0; b < 60 * 44100 / kFrames && !fx.Asleep(); ++b) {
        std::fill_n(fx.Buffer(), 2 * kFrames, 0.0);
        module.Render(kFrames);
    }
    if (!fx.Asleep()) state.SkipWithError("the chain did not fall asleep within a minute");
    for (auto _ : state) {
        std::fill_n(fx.Buffer(), 2 * kFrames, 0.0);
        module.Render(kFrames);
        benchmark::DoNotOptimize(fx.Buffer()[0]);
    }
    PerFrame(state);
}
BENCHMARK(BM_ChainAllAsleep);

// A stereo effects module with every unit on, prepared and on at rate.
std::unique_ptr<tEffectsModule> ChainAt(int rate) {
    auto module = std::make_unique<tEffectsModule>(0, 0);
    EveryUnit(module->Engine().Controls());
    module->SetChannels(2);
    module->SetSampleRate(rate);
    module->Prepare();
    module->SwitchOn();
    return module;
}

void BM_ChainAllSecondAtRate(benchmark::State& state) {
    // One second of sound at the rate per iteration: the time per second of sound.
    const int rate = static_cast<int>(state.range(0));
    const std::unique_ptr<tEffectsModule> module = ChainAt(rate);
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    for (auto _ : state) {
        for (int block = 0; block < rate / kFrames; ++block) {
            std::copy(noise.begin(), noise.end(), module->Engine().Buffer());
            module->Render(kFrames);
        }
        benchmark::DoNotOptimize(module->Engine().Buffer()[0]);
    }
    state.counters["rate"] = rate;
}
BENCHMARK(BM_ChainAllSecondAtRate)->Arg(44100)->Arg(96000)->Unit(benchmark::kMillisecond);

// Eight modules with full memories; each iteration times one block in which all eight are
// switched on again (switchOn) or reset as after a block that was not finite.
void EightInOneBlock(benchmark::State& state, bool switchOn) {
    const int rate = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<tEffectsModule>> modules;
    for (int i = 0; i < 8; ++i) modules.push_back(ChainAt(rate));
    const std::vector<double> noise = NoiseBlock(2 * kFrames);
    auto render = [&](int blocks) {
        for (int b = 0; b < blocks; ++b)
            for (auto& module : modules) {
                std::copy(noise.begin(), noise.end(), module->Engine().Buffer());
                module->Render(kFrames);
            }
    };
    render(2 * rate / kFrames);
    std::vector<double> times;
    for (auto _ : state) {
        for (auto& module : modules) {
            if (!switchOn) continue;
            module->SwitchOff();
            module->SwitchOn();
        }
        const double start = ThreadSeconds();
        for (auto& module : modules) {
            if (!switchOn) module->Reset();
            std::copy(noise.begin(), noise.end(), module->Engine().Buffer());
            module->Render(kFrames);
        }
        const double seconds = ThreadSeconds() - start;
        state.SetIterationTime(seconds);
        times.push_back(seconds);
        render(4);
    }
    // On a shared machine a rare block is stretched by time taken from this thread; the 99th
    // percentile shows the block's own cost, the maximum that stretch.
    std::sort(times.begin(), times.end());
    state.counters["p99_ms"] = 1000.0 * times[times.size() * 99 / 100];
    state.counters["max_ms"] = 1000.0 * times.back();
    state.counters["rate"] = rate;
}

void BM_EightSwitchedOnInOneBlock(benchmark::State& state) {
    EightInOneBlock(state, true);
}
BENCHMARK(BM_EightSwitchedOnInOneBlock)
    ->Arg(44100)
    ->Arg(96000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_EightResetInOneBlock(benchmark::State& state) {
    EightInOneBlock(state, false);
}
BENCHMARK(BM_EightResetInOneBlock)
    ->Arg(44100)
    ->Arg(96000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
} // namespace
