// One flute voice per model against STK's flute, in nanoseconds per output sample, and the
// voices' time as a share of STK's beside the share they are meant to stay within.
#include "flute/FluteVoice.h"

#include <benchmark/benchmark.h>
#include <stk/Flute.h>

#include <cmath>
#include <ctime>
#include <memory>

namespace {

constexpr int kBlock = 128;

// The new module's sound with the output filter on, key 69, at rate.
std::unique_ptr<tFluteVoice> MakeVoice(int model, int rate = 44100) {
    auto voice = std::make_unique<tFluteVoice>();
    voice->setSampleRate(rate);
    const double v = 0.7;
    voice->setVelocity(v);
    voice->setLevel(0.2 * (std::exp(1.7 / 3.0) - 1.0));
    voice->setPressure(0.41 * 0.9090909090909091 * (1.0 + 0.6 * v));
    voice->setBreathLevel(0.16 * 0.05 * (1.0 + v));
    voice->setBreathAttack(110.0);
    voice->setBreathBoost(0.5);
    voice->setBreathFilter(1.6 * (1.0 - 0.4 * v));
    voice->setBreathMode(1);
    voice->setTremoloRate(1.23);
    voice->setTremoloDepth(0.23 * 0.05);
    voice->setScale(1);
    voice->setJetRatio(0.5, 0);
    voice->setLoopFilter(7.95);
    voice->setLoopCeiling(0.95);
    voice->setLoopMode(0);
    voice->setLoopOrder(0);
    voice->setFeedEmb(0.48);
    voice->setFeedBore(0.59);
    voice->setModel(model);
    voice->setFilterOn(1);
    voice->setFilterType(1);
    voice->setResonance(2.4);
    voice->setFollowNote(1);
    voice->setCutoff(2.38);
    voice->setBoreScale(1.0);
    voice->noteOn(440.0, 1.0, 69);
    return voice;
}

// Time per output sample (shown with an SI prefix: "10.2n" is 10.2 ns).
void SetPerSample(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["per_sample"] = benchmark::Counter(
        kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The module's path: one block at a time.
void BM_FluteVoiceBlock(benchmark::State& state) {
    auto voice = MakeVoice(static_cast<int>(state.range(0)));
    double out[kBlock];
    for (auto _ : state) {
        voice->processBlock(out, kBlock);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    SetPerSample(state);
}
BENCHMARK(BM_FluteVoiceBlock)->Arg(0)->Arg(1)->ArgName("model");

// The sample-by-sample reference path.
void BM_FluteVoiceProcess(benchmark::State& state) {
    auto voice = MakeVoice(static_cast<int>(state.range(0)));
    double out[kBlock];
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) out[i] = voice->process();
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    SetPerSample(state);
}
BENCHMARK(BM_FluteVoiceProcess)->Arg(0)->Arg(1)->ArgName("model");

// One second of sound at a rate, in 128-frame blocks: the time per iteration is the voice's
// cost per second of sound (a pitch bend or "embro. size" that moves glides the jet in
// every block; the second argument 1 has it glide as a controller sweep would).
void BM_FluteVoiceSecond(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const bool gliding = state.range(2) != 0;
    auto voice = MakeVoice(static_cast<int>(state.range(1)), rate);
    double out[kBlock];
    int block = 0;
    for (auto _ : state) {
        for (int done = 0; done < rate; done += kBlock, ++block) {
            if (gliding) voice->setJetRatio(block % 2 == 0 ? 0.45 : 0.5, kBlock);
            voice->processBlock(out, kBlock);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    state.counters["rate"] = rate;
}
BENCHMARK(BM_FluteVoiceSecond)
    ->ArgsProduct({{44100, 96000}, {0, 1}, {0, 1}})
    ->ArgNames({"rate", "model", "glide"})
    ->Unit(benchmark::kMillisecond);

void BM_StkFlute(benchmark::State& state) {
    stk::Stk::setSampleRate(44100.0);
    stk::Flute flute(20.0);
    flute.noteOn(440.0, 0.8);
    double out[kBlock];
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) out[i] = flute.tick();
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    SetPerSample(state);
}
BENCHMARK(BM_StkFlute);

// The thread's processor time in nanoseconds: what other programs take of the machine does not
// count.
double ThreadNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

// The voice (the module's path) against STK's Flute in the same iterations, taking turns in
// processor time of this thread so that the machine's load weighs on both alike. ratio: the
// voice's time over STK's; goal: the most it should be.
void BM_FluteVoiceToStkFlute(benchmark::State& state) {
    constexpr int kBlocks = 16;
    constexpr double kGoal = 0.35;
    auto voice = MakeVoice(static_cast<int>(state.range(0)));
    stk::Stk::setSampleRate(44100.0);
    stk::Flute flute(20.0);
    flute.noteOn(440.0, 0.8);
    double out[kBlock];
    double voiceNs = 0.0;
    double stkNs = 0.0;
    for (auto _ : state) {
        const double t0 = ThreadNs();
        for (int b = 0; b < kBlocks; ++b) {
            voice->processBlock(out, kBlock);
            benchmark::DoNotOptimize(out);
            benchmark::ClobberMemory();
        }
        const double t1 = ThreadNs();
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlock; ++i) out[i] = flute.tick();
            benchmark::DoNotOptimize(out);
            benchmark::ClobberMemory();
        }
        const double t2 = ThreadNs();
        voiceNs += t1 - t0;
        stkNs += t2 - t1;
    }
    const double samples = static_cast<double>(state.iterations()) * kBlocks * kBlock;
    state.counters["voice_ns"] = voiceNs / samples;
    state.counters["stk_ns"] = stkNs / samples;
    state.counters["ratio"] = stkNs > 0.0 ? voiceNs / stkNs : 0.0;
    state.counters["goal"] = kGoal;
}
BENCHMARK(BM_FluteVoiceToStkFlute)->Arg(0)->Arg(1)->ArgName("model");

} // namespace
