// Per-sample cost of the building blocks every voice and effect runs. Each benchmark runs a
// block of samples per iteration; "per_sample" is the time of one sample.
#include "dsp/DelayLine.h"
#include "dsp/LowPass.h"
#include "dsp/MultiFilter.h"
#include "dsp/NoiseSource.h"
#include "dsp/OnePole.h"
#include "dsp/Random.h"
#include "dsp/SineTable.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlock = 1024;

const std::vector<double>& NoiseBlock() {
    static const std::vector<double> block = [] {
        tRandom random;
        std::vector<double> values(kBlock);
        for (double& v : values) v = (random.next() - 1073741823) * 9.313225754828403e-10;
        return values;
    }();
    return block;
}

void PerSample(benchmark::State& state) {
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LowPass4(benchmark::State& state) {
    tLowPass4 filter;
    filter.setType(kChebyshev05);
    filter.setResonance(3.0);
    filter.setFrequency(2000.0);
    const double* x = NoiseBlock().data();
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kBlock; ++i) sum += filter.process(x[i]);
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_LowPass4);

void BM_MultiFilter(benchmark::State& state) {
    tMultiFilter filter;
    filter.setSampleRate(44100);
    filter.setMode(tMultiFilter::kLowPass);
    filter.setType(kButterworth);
    filter.setOrder(3);
    filter.setResonance(3.0);
    filter.setFrequency(2000.0);
    const double* x = NoiseBlock().data();
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kBlock; ++i) sum += filter.process(x[i]);
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_MultiFilter);

// The string loop: read the output, feed it back with the input.
void BM_DelayLineWrite(benchmark::State& state) {
    tDelayLine line;
    line.setLength(44100.0 / 261.6255653, 60);
    const double* x = NoiseBlock().data();
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) line.write(x[i] + 0.5 * line.output());
        benchmark::DoNotOptimize(line.output());
    }
    PerSample(state);
}
BENCHMARK(BM_DelayLineWrite);

void BM_OnePoleProcess(benchmark::State& state) {
    tOnePole pole;
    pole.setMode(tOnePole::kYes);
    pole.setup(44100, 6.0);
    pole.update(261.6255653);
    const double* x = NoiseBlock().data();
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kBlock; ++i) sum += pole.process(x[i]);
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_OnePoleProcess);

void BM_SineTableNext(benchmark::State& state) {
    tSineTable sine;
    sine.setFrequency(44100, 440.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kBlock; ++i) sum += sine.next();
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_SineTableNext);

// The noise sources' generator against the library's locked rand().
void BM_RandomNext(benchmark::State& state) {
    for (auto _ : state) {
        int sum = 0;
        for (int i = 0; i < kBlock; ++i) sum += nextRand();
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_RandomNext);

void BM_LibraryRand(benchmark::State& state) {
    for (auto _ : state) {
        int sum = 0;
        for (int i = 0; i < kBlock; ++i) sum += std::rand();
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_LibraryRand);

void BM_WhiteNoiseNext(benchmark::State& state) {
    tWhiteNoise noise;
    noise.setup(2.0, 1.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kBlock; ++i) sum += noise.next();
        benchmark::DoNotOptimize(sum);
    }
    PerSample(state);
}
BENCHMARK(BM_WhiteNoiseNext);

} // namespace
