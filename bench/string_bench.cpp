// String synthesizer cost: one voice per output sample (default patch and the heaviest
// settings) against STK's plucked string at the same note (the goal table at the end of the
// run compares them), one voice per second of sound at 44100 and 96000 Hz, and one stereo
// block of 24 sounding voices, and of 24 sleeping ones, as a share of one core.
#include "core/KeyFrequency.h"
#include "string/StringModule.h"
#include "string/StringSynth.h"
#include "string/StringVoice.h"

#include <benchmark/benchmark.h>
#include <stk/Plucked.h>

#include <memory>

namespace {

constexpr int kFrames = 128;
constexpr int kKey = 57; // 220 Hz
// Notes are struck again after this many samples, as a player would.
constexpr int kNoteLength = 44100;

enum tSettings { kDefault, kHeaviest, kHeaviestWithoutEnvelope };

void Heaviest(tStringControls& c) {
    c.energy.filterOrder.Set(3); // loop order 4
    c.outputFilter.slope.Set(7); // "+24 dB"
    c.outputFilter.kind.Set(3);
    c.outputFilter.resonance.Set(0.5);
    c.envelope.envMode.Set(1); // "normal"
    c.envelope.envAmpl.Set(2.0);
    c.output.amplEnv.Set(1);
    c.output.lfoAmpl.Set(0.5);
    c.output.lfoFreq.Set(4.0);
    c.output.dcFilter.Set(1);
}

// The engine starts the voice from its controls; the benchmark then drives the voice as the
// engine's render does for one sounding voice.
void VoiceBench(benchmark::State& state, tSettings settings) {
    auto engine = std::make_unique<tStringSynth>();
    if (settings != kDefault) Heaviest(engine->Controls());
    if (settings == kHeaviestWithoutEnvelope) {
        engine->Controls().envelope.envMode.Set(0);
        engine->Controls().output.amplEnv.Set(0);
    }
    engine->SwitchOn();
    tStringVoice& voice = *engine->Slot(0).voice;
    double out[kFrames];
    int played = kNoteLength;
    for (auto _ : state) {
        if (played >= kNoteLength) {
            state.PauseTiming();
            engine->ResetVoices();
            // A block ends before the note is struck, as in the rack: the note's preparation
            // has the budget of one block.
            engine->Render(kFrames);
            engine->NoteOn(kKey, 100);
            played = 0;
            state.ResumeTiming();
        }
        voice.setVolume(1.0);
        voice.setResonance(6.0);
        voice.setCutoff(6.4, kFrames);
        voice.render(out, kFrames, 1, 1.0, 1.0, false);
        benchmark::DoNotOptimize(out);
        played += kFrames;
    }
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(kFrames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StringVoiceDefault(benchmark::State& state) {
    VoiceBench(state, kDefault);
}

void BM_StringVoiceHeaviest(benchmark::State& state) {
    VoiceBench(state, kHeaviest);
}

// The same without the envelope: the output filter then keeps its design, which shows what
// redesigning it every fourth sample costs.
void BM_StringVoiceHeaviestWithoutEnvelope(benchmark::State& state) {
    VoiceBench(state, kHeaviestWithoutEnvelope);
}

// STK's plucked string at the same note, ticked into a block the same way.
void BM_StkPlucked(benchmark::State& state) {
    stk::Stk::setSampleRate(44100.0);
    stk::Plucked plucked(10.0);
    double out[kFrames];
    int played = kNoteLength;
    for (auto _ : state) {
        if (played >= kNoteLength) {
            state.PauseTiming();
            plucked.noteOn(KeyFrequency(kKey), 0.8);
            played = 0;
            state.ResumeTiming();
        }
        for (int i = 0; i < kFrames; ++i) out[i] = plucked.tick();
        benchmark::DoNotOptimize(out);
        played += kFrames;
    }
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(kFrames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One 128-frame stereo block of the module with 24 held notes; core_percent is the block's
// compute time over its playing time (128 / 44100 s), in percent.
void BM_StringModule24Voices(benchmark::State& state) {
    auto module = std::make_unique<tStringModule>(0, 0);
    module->SetChannels(2);
    module->SetPolyphony(24);
    module->SwitchOn();
    int played = kNoteLength;
    for (auto _ : state) {
        if (played >= kNoteLength) {
            state.PauseTiming();
            module->AllNotesOff();
            for (int k = 0; k < 24; ++k) module->NoteOn(36 + k, 100);
            played = 0;
            state.ResumeTiming();
        }
        module->Render(kFrames);
        benchmark::DoNotOptimize(module->Output());
        played += kFrames;
    }
    state.counters["core_percent"] = benchmark::Counter(
        kFrames / 44100.0 / 100.0,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same module once its 24 held notes have all decayed far enough to sleep: each block is
// then no more than a look at its voices.
void BM_StringModule24VoicesAsleep(benchmark::State& state) {
    auto module = std::make_unique<tStringModule>(0, 0);
    module->SetChannels(2);
    module->SetPolyphony(24);
    module->SwitchOn();
    for (int k = 0; k < 24; ++k) module->NoteOn(72 + k, 100);
    // High notes decay within seconds; a minute of sound at most.
    for (int block = 0; block < 60 * 44100 / kFrames && module->IsActive(); ++block) {
        module->Render(kFrames);
    }
    if (module->IsActive()) state.SkipWithError("the voices did not fall asleep");
    for (auto _ : state) {
        module->Render(kFrames);
        benchmark::DoNotOptimize(module->Output());
    }
    state.counters["core_percent"] = benchmark::Counter(
        kFrames / 44100.0 / 100.0,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One voice at a sample rate (argument 0), default patch or heaviest settings (argument 1),
// struck once per second of sound and rendered in 128-frame blocks, its preparation
// included; per_second_of_sound is the compute time of one second of its sound. It grows
// with the rate no faster than the rate does.
void BM_StringVoiceAtRate(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    auto engine = std::make_unique<tStringSynth>();
    engine->SetSampleRate(rate);
    if (state.range(1) != 0) Heaviest(engine->Controls());
    engine->SwitchOn();
    int played = rate;
    for (auto _ : state) {
        if (played >= rate) {
            engine->ResetVoices();
            engine->NoteOn(kKey, 100);
            played = 0;
        }
        engine->Render(kFrames);
        benchmark::DoNotOptimize(engine->Output());
        played += kFrames;
    }
    state.counters["per_second_of_sound"] = benchmark::Counter(
        static_cast<double>(kFrames) / rate,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_StkPlucked);
BENCHMARK(BM_StringVoiceDefault);
BENCHMARK(BM_StringVoiceHeaviest);
BENCHMARK(BM_StringVoiceHeaviestWithoutEnvelope);
BENCHMARK(BM_StringModule24Voices);
BENCHMARK(BM_StringModule24VoicesAsleep);
BENCHMARK(BM_StringVoiceAtRate)->ArgsProduct({{44100, 96000}, {0, 1}});
