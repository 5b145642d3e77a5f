// String synthesizer cost: one voice per output sample (default patch and the heaviest
// settings) and STK's plucked string at the same note, the voice's time over STK's measured
// with the two taking turns (a ratio the goal table at the end of the run shows), also for two
// voices rendered side by side as the module renders them; one voice per second of sound at 44100
// and 96000 Hz, and one stereo block of 24 sounding voices, and of 24 sleeping ones, as a share of
// one core.
#include "core/KeyFrequency.h"
#include "string/StringModule.h"
#include "string/StringSynth.h"
#include "string/StringVoice.h"

#include <benchmark/benchmark.h>
#include <stk/Plucked.h>

#include <ctime>
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

// One voice driven as the engine's render drives a single sounding voice: the engine starts
// the note from its controls, and the note is struck again after kNoteLength samples.
class tVoiceRig {
public:
    explicit tVoiceRig(tSettings settings) : mEngine(std::make_unique<tStringSynth>()) {
        if (settings != kDefault) Heaviest(mEngine->Controls());
        if (settings == kHeaviestWithoutEnvelope) {
            mEngine->Controls().envelope.envMode.Set(0);
            mEngine->Controls().output.amplEnv.Set(0);
        }
        mEngine->SwitchOn();
    }
    // Whether the note is to be struck again before the next block.
    bool Due() const { return mPlayed >= kNoteLength; }
    void Strike() {
        mEngine->ResetVoices();
        // A block ends before the note is struck, as in the rack: the note's preparation has
        // the budget of one block.
        mEngine->Render(kFrames);
        mEngine->NoteOn(kKey, 100);
        mPlayed = 0;
    }
    void Block() {
        Set();
        Voice().render(mOut, kFrames, 1, 1.0, 1.0, false);
        benchmark::DoNotOptimize(mOut);
        mPlayed += kFrames;
    }
    // A block of this voice and another's rendered together, as the module renders its voices.
    void PairBlock(tVoiceRig& other) {
        Set();
        other.Set();
        tStringVoice::renderPair(Voice(), 1.0, 1.0, other.Voice(), 1.0, 1.0, mOut, kFrames, 1,
                                 false);
        benchmark::DoNotOptimize(mOut);
        mPlayed += kFrames;
        other.mPlayed += kFrames;
    }

private:
    tStringVoice& Voice() { return *mEngine->Slot(0).voice; }
    // What the engine sets at every block.
    void Set() {
        Voice().setVolume(1.0);
        Voice().setResonance(6.0);
        Voice().setCutoff(6.4, kFrames);
    }

    std::unique_ptr<tStringSynth> mEngine;
    double mOut[kFrames];
    int mPlayed = kNoteLength;
};

// STK's plucked string at the same note, ticked into a block the same way.
class tPluckedRig {
public:
    tPluckedRig() : mPlucked(10.0) {}
    bool Due() const { return mPlayed >= kNoteLength; }
    void Strike() {
        mPlucked.noteOn(KeyFrequency(kKey), 0.8);
        mPlayed = 0;
    }
    void Block() {
        for (int i = 0; i < kFrames; ++i) mOut[i] = mPlucked.tick();
        benchmark::DoNotOptimize(mOut);
        mPlayed += kFrames;
    }

private:
    stk::Plucked mPlucked;
    double mOut[kFrames];
    int mPlayed = kNoteLength;
};

void PerSample(benchmark::State& state) {
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(kFrames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class tRig> void RigBench(benchmark::State& state, tRig& rig) {
    for (auto _ : state) {
        if (rig.Due()) {
            state.PauseTiming();
            rig.Strike();
            state.ResumeTiming();
        }
        rig.Block();
    }
    PerSample(state);
}

void BM_StringVoiceDefault(benchmark::State& state) {
    tVoiceRig rig(kDefault);
    RigBench(state, rig);
}

void BM_StringVoiceHeaviest(benchmark::State& state) {
    tVoiceRig rig(kHeaviest);
    RigBench(state, rig);
}

// The same without the envelope: the output filter then keeps its design, which shows what
// redesigning it every fourth sample costs.
void BM_StringVoiceHeaviestWithoutEnvelope(benchmark::State& state) {
    tVoiceRig rig(kHeaviestWithoutEnvelope);
    RigBench(state, rig);
}

void BM_StkPlucked(benchmark::State& state) {
    stk::Stk::setSampleRate(44100.0);
    tPluckedRig rig;
    RigBench(state, rig);
}

// The processor time of this thread: what other programs take of the machine does not count.
double ThreadNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

// The voice (default patch: argument 0, heaviest settings: 1) against STK's plucked string,
// the two taking turns in batches of blocks on this thread's clock so that the machine's load
// weighs on both alike; notes are struck again between batches, outside the clock. ratio: the
// voice's time over STK's.
void BM_StringVoiceToStkPlucked(benchmark::State& state) {
    constexpr int kBatch = 16;
    stk::Stk::setSampleRate(44100.0);
    tVoiceRig voice(state.range(0) == 0 ? kDefault : kHeaviest);
    tPluckedRig plucked;
    double voiceNs = 0.0;
    double stkNs = 0.0;
    long blocks = 0;
    for (auto _ : state) {
        if (voice.Due()) voice.Strike();
        if (plucked.Due()) plucked.Strike();
        const double t0 = ThreadNs();
        int b = 0;
        for (; b < kBatch && !voice.Due(); ++b) voice.Block();
        const double t1 = ThreadNs();
        for (int c = 0; c < b; ++c) plucked.Block();
        const double t2 = ThreadNs();
        blocks += b;
        voiceNs += t1 - t0;
        stkNs += t2 - t1;
    }
    const double samples = static_cast<double>(blocks) * kFrames;
    state.counters["voice_ns"] = voiceNs / samples;
    state.counters["stk_ns"] = stkNs / samples;
    state.counters["ratio"] = stkNs > 0.0 ? voiceNs / stkNs : 0.0;
}

// The same for two voices of the default patch rendered side by side, as the module renders
// its voices in pairs, against two blocks of STK's plucked string per block of the pair: ratio
// is the time per voice over STK's.
void BM_StringVoicePairToStkPlucked(benchmark::State& state) {
    constexpr int kBatch = 16;
    stk::Stk::setSampleRate(44100.0);
    tVoiceRig a(kDefault);
    tVoiceRig b(kDefault);
    tPluckedRig plucked;
    double voiceNs = 0.0;
    double stkNs = 0.0;
    for (auto _ : state) {
        if (a.Due()) {
            a.Strike();
            b.Strike();
        }
        const double t0 = ThreadNs();
        int n = 0;
        for (; n < kBatch && !a.Due(); ++n) a.PairBlock(b);
        const double t1 = ThreadNs();
        for (int c = 0; c < 2 * n; ++c) {
            if (plucked.Due()) plucked.Strike();
            plucked.Block();
        }
        const double t2 = ThreadNs();
        voiceNs += t1 - t0;
        stkNs += t2 - t1;
    }
    state.counters["ratio"] = stkNs > 0.0 ? voiceNs / stkNs : 0.0;
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
BENCHMARK(BM_StringVoiceToStkPlucked)->Arg(0)->Arg(1)->ArgName("settings");
BENCHMARK(BM_StringVoicePairToStkPlucked);
BENCHMARK(BM_StringVoiceAtRate)->ArgsProduct({{44100, 96000}, {0, 1}});
