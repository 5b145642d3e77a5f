// From a note-on's bytes written into the MIDI FIFO to the end of the render callback whose
// block carries the note's first sound: the MIDI thread, the rack's event queue and one
// render through the master stage, with the audio thread paced at real time as a sound card
// paces it (period 128, stereo, the Organ preset).

#include "catalog/Presets.h"
#include "core/Config.h"
#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "platform/Audio.h"
#include "platform/AudioCallback.h"
#include "platform/MidiIn.h"
#include "platform/TickThread.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using tClock = std::chrono::steady_clock;
constexpr int kPeriod = 128;
constexpr int kOrganPreset = 3;
constexpr int kSoundLevel = 64;  // a block louder than this carries the note
constexpr int kSilenceLevel = 8; // the previous note has died away below this

// Runs the render callback once per period of wall-clock time, as a blocking write to a card
// would, and notes when a block first rises above the sound level.
class tClockedClient : public tAudioClient {
public:
    explicit tClockedClient(tRenderCallback& inner) : mInner(inner) {}

    void AudioCallback() override {
        mInner.AudioCallback();
        int peak = 0;
        for (int i = 0; i < kPeriod * 2; ++i)
            peak = std::max(peak, std::abs(int(mInner.Samples()[i])));
        level.store(peak);
        if (peak > kSoundLevel && armed.exchange(false))
            sounded.store(tClock::now().time_since_epoch().count());
        mNext += std::chrono::nanoseconds(1000000000LL * kPeriod / mInner.SampleRate());
        const auto now = tClock::now();
        if (mNext < now) mNext = now;
        std::this_thread::sleep_until(mNext);
    }

    std::atomic<bool> armed{false};
    std::atomic<long long> sounded{0};
    std::atomic<int> level{0};

private:
    tRenderCallback& mInner;
    tClock::time_point mNext = tClock::now();
};

struct tSetup {
    std::string dir;
    tConfig config;
    tRack rack;
    tMasterControls controls;
    tLoadCounters counters;
    std::unique_ptr<tMasterStage> stage;
    std::unique_ptr<tAudio> audio;
    std::unique_ptr<tRenderCallback> callback;
    std::unique_ptr<tClockedClient> clocked;
    std::unique_ptr<tTickThread> tick;
    std::unique_ptr<tMidiIn> midi;
    int writer = -1;

    tSetup() {
        char temp[] = "/tmp/kelvora-latency-XXXXXX";
        dir = mkdtemp(temp);
        const std::string rc = dir + "/asoundrc";
        if (FILE* f = std::fopen(rc.c_str(), "w")) {
            std::fputs("<confdir:alsa.conf>\npcm.kvnull { type null }\n", f);
            std::fclose(f);
        }
        setenv("ALSA_CONFIG_PATH", rc.c_str(), 1);
        config.SetAudioDevice("kvnull");
        config.SetPeriod(kPeriod);
        config.SetFragments(2);
        AddPreset(rack, kOrganPreset);
        for (tSlot* slot : rack.Slots()) {
            tRack::tGuard guard(rack);
            slot->SwitchOn();
        }
        stage = std::make_unique<tMasterStage>(controls);
        audio = std::make_unique<tAudio>(config);
        callback = std::make_unique<tRenderCallback>(rack, *audio, *stage, controls);
        clocked = std::make_unique<tClockedClient>(*callback);
        audio->SetCallback(clocked.get());
        tick = std::make_unique<tTickThread>(counters);

        const std::string fifo = dir + "/midi";
        mkfifo(fifo.c_str(), 0600);
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        writer = open(fifo.c_str(), O_WRONLY);
        midi = std::make_unique<tMidiIn>(rack, counters);
        midi->StartStream(reader, fifo);
        callback->SetChannels(2);
        callback->Start();
    }
    ~tSetup() {
        callback->Stop();
        audio->SetCallback(nullptr);
        midi.reset();
        close(writer);
        unlink((dir + "/midi").c_str());
        unlink((dir + "/asoundrc").c_str());
        rmdir(dir.c_str());
    }
    void Send(std::initializer_list<unsigned char> bytes) {
        for (unsigned char b : bytes)
            if (write(writer, &b, 1) != 1) std::perror("write");
    }
};

void WaitFor(const std::function<bool()>& done) {
    const auto deadline = tClock::now() + std::chrono::seconds(5);
    while (!done() && tClock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void BM_FifoNoteOnToFirstSample(benchmark::State& state) {
    static tSetup setup;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> phase(0, 3000);
    int key = 60;
    for (auto _ : state) {
        // Start from silence at a random point of the period.
        WaitFor([&] { return setup.clocked->level.load() < kSilenceLevel; });
        std::this_thread::sleep_for(std::chrono::microseconds(phase(random)));
        setup.clocked->sounded.store(0);
        setup.clocked->armed.store(true);
        const auto sent = tClock::now();
        setup.Send({0x90, static_cast<unsigned char>(key), 100});
        WaitFor([&] { return setup.clocked->sounded.load() != 0; });
        const long long sounded = setup.clocked->sounded.load();
        if (sounded == 0) {
            state.SkipWithError("the note did not sound");
            break;
        }
        const auto delay = tClock::time_point(tClock::duration(sounded)) - sent;
        state.SetIterationTime(std::chrono::duration<double>(delay).count());
        setup.Send({0x80, static_cast<unsigned char>(key), 0});
        key = key == 72 ? 60 : key + 1;
    }
    state.counters["period_ms"] = 1000.0 * kPeriod / setup.callback->SampleRate();
}
BENCHMARK(BM_FifoNoteOnToFirstSample)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1)
    ->Repetitions(60)
    ->ComputeStatistics("max",
                        [](const std::vector<double>& v) {
                            return *std::max_element(v.begin(), v.end());
                        })
    ->ReportAggregatesOnly(true);

} // namespace
