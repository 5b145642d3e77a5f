#include "platform/JackAudio.h"

#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "dsp/SampleRate.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
// The calling thread's processor time in seconds.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// libjack's own messages (a failed connection attempt says several lines) are left out: the
// program tells what failed in one line of its own.
void Quiet(const char*) {}

constexpr const char* kStartHint =
    "start one first (jackd -d alsa, or QjackCtl), or let PipeWire provide it: pw-jack kelvora "
    "-a jack";
} // namespace

struct tJackAudio::tEntries {
    static int Process(jack_nframes_t frames, void* self) {
        static_cast<tJackAudio*>(self)->Process(frames);
        return 0;
    }
    static int BufferSize(jack_nframes_t frames, void* self) {
        // Every buffer is sized for the largest period already: only noted.
        static_cast<tJackAudio*>(self)->mPeriod.store(static_cast<int>(frames));
        return 0;
    }
    static int SampleRate(jack_nframes_t rate, void* self) {
        static_cast<tJackAudio*>(self)->ServerRateChanged(static_cast<int>(rate));
        return 0;
    }
    static int Xrun(void* self) {
        static_cast<tJackAudio*>(self)->mXruns.fetch_add(1);
        return 0;
    }
    static void Shutdown(jack_status_t, const char*, void* self) {
        static_cast<tJackAudio*>(self)->ServerShutDown();
    }
};

tJackAudio::tJackAudio(tRack& rack, tMasterStage& master, tMasterControls& controls)
    : mRack(rack), mMaster(master), mControls(controls), mEngine(rack, master) {
    mWatcher = std::thread([this] { Watch(); });
}

tJackAudio::~tJackAudio() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(mWatchLock);
        mStopWatching = true;
    }
    mWake.notify_all();
    mWatcher.join();
}

void tJackAudio::SetSettings(const tJackSettings& settings) {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    mSettings = settings;
}

tJackSettings tJackAudio::Settings() const {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    return mSettings;
}

std::string tJackAudio::FailureMessage() const {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    return mFailure;
}

std::string tJackAudio::ClientName() const {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    return mClientName;
}

tJackAudio::tCost tJackAudio::Cost() const {
    tCost cost;
    cost.periods = mPeriods.load();
    if (cost.periods > 0) cost.meanShare = mShareSum.load() / static_cast<double>(cost.periods);
    cost.maxShare = mShareMax.load();
    return cost;
}

// --- switching (owning thread, watcher) -----------------------------------------------------

bool tJackAudio::Start() {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    if (mOn.load()) return true;
    return Open();
}

void tJackAudio::Stop() {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    Close(kAudioOffNone);
}

void tJackAudio::SetChannels(int channels) {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    channels = channels == 1 ? 1 : 2;
    if (channels == mChannels.load()) return;
    const bool wasOn = mOn.load();
    if (wasOn) Close(kAudioOffNone);
    mChannels.store(channels);
    if (wasOn) Open();
}

bool tJackAudio::Open() {
    mFailure.clear();
    jack_set_error_function(Quiet);
    int options = JackNoStartServer;
    if (!mSettings.serverName.empty()) options |= JackServerName;
    jack_status_t status{};
    jack_client_t* client =
        mSettings.serverName.empty()
            ? jack_client_open(mSettings.clientName.c_str(), static_cast<jack_options_t>(options),
                               &status)
            : jack_client_open(mSettings.clientName.c_str(), static_cast<jack_options_t>(options),
                               &status, mSettings.serverName.c_str());
    if (client == nullptr) {
        mFailure = (status & JackServerFailed) || (status & JackServerError)
                       ? std::string(kNoServer) + ": " + kStartHint + "."
                       : "The JACK client \"" + mSettings.clientName + "\" could not be opened.";
        std::fprintf(stderr, "%s\n", mFailure.c_str());
        ShowOff(kAudioOffNone);
        return false;
    }
    const int rate = static_cast<int>(jack_get_sample_rate(client));
    if (!isValidSampleRate(rate)) {
        mFailure = "The JACK server runs at " + std::to_string(rate) + " Hz, outside " +
                   std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate) + " Hz.";
        std::fprintf(stderr, "%s\n", mFailure.c_str());
        jack_client_close(client);
        ShowOff(kAudioOffNone);
        return false;
    }
    const int channels = mChannels.load();
    const char* names[2] = {"out_1", "out_2"};
    bool registered = true;
    for (int c = 0; c < channels; ++c) {
        mOutPorts[c].store(
            jack_port_register(client, names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
        registered = registered && mOutPorts[c].load() != nullptr;
    }
    mMidiPort.store(
        jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0));
    registered = registered && mMidiPort.load() != nullptr;
    jack_set_process_callback(client, tEntries::Process, this);
    jack_set_buffer_size_callback(client, tEntries::BufferSize, this);
    jack_set_sample_rate_callback(client, tEntries::SampleRate, this);
    jack_set_xrun_callback(client, tEntries::Xrun, this);
    jack_on_info_shutdown(client, tEntries::Shutdown, this);

    // The engine at the server's rate, before the first callback.
    mEngine.Prepare(rate, channels);
    mRate.store(rate);
    mPeriod.store(static_cast<int>(jack_get_buffer_size(client)));
    mProcessChannels = channels;
    mRequests.store(0);
    mSilent.store(false);
    mClient = client;
    mClientName = jack_get_client_name(client);
    mRack.SetRendering(true);
    mReady.store(true, std::memory_order_release);
    if (!registered || jack_activate(client) != 0) {
        mFailure = "The JACK client \"" + mClientName + "\" could not be started.";
        std::fprintf(stderr, "%s\n", mFailure.c_str());
        Close(kAudioOffNone);
        return false;
    }
    mOn.store(true);
    mControls.audioOn.Set(1);
    mControls.audioLight.Set(1);
    if (mSettings.autoconnect) Connect();
    return true;
}

void tJackAudio::Connect() {
    const char** playback = jack_get_ports(mClient, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    if (playback == nullptr) return;
    // Mono plays on both.
    for (int i = 0; i < 2 && playback[i] != nullptr; ++i) {
        jack_port_t* out = mOutPorts[std::min(i, mProcessChannels - 1)].load();
        jack_connect(mClient, jack_port_name(out), playback[i]);
    }
    jack_free(playback);
}

void tJackAudio::Close(int reason) {
    // Off already: nothing to tell (the ALSA back-end may be the one that runs).
    if (mClient == nullptr) return;
    mRack.AllNotesOff();
    jack_deactivate(mClient);
    jack_client_close(mClient);
    mClient = nullptr;
    mRack.SetRendering(false);
    mReady.store(false);
    for (auto& port : mOutPorts) port.store(nullptr);
    mMidiPort.store(nullptr);
    mClientName.clear();
    ShowOff(reason);
}

void tJackAudio::ShowOff(int reason) {
    mRack.AllNotesOff();
    mOn.store(false);
    mControls.audioOn.Set(0);
    mControls.audioLight.Set(0);
    if (reason != kAudioOffNone) mControls.audioOff.Set(reason);
}

// --- what the server tells ---------------------------------------------------------------------

void tJackAudio::ServerRateChanged(int rate) {
    // The server tells its rate when the callback is set too: only a new one counts.
    if (!mReady.load() || rate == mRate.load()) return;
    mNewRate.store(rate);
    mSilent.store(true);
    Request(kRateChanged);
}

void tJackAudio::ServerShutDown() {
    mSilent.store(true);
    Request(kShutDown);
}

void tJackAudio::Request(unsigned request) {
    mRequests.fetch_or(request);
    // Not from the process callback: it leaves its requests for the watcher's next look.
    mWake.notify_all();
}

void tJackAudio::Watch() {
    std::unique_lock<std::mutex> wait(mWatchLock);
    while (!mStopWatching) {
        mWake.wait_for(wait, std::chrono::milliseconds(kWatchMilliseconds));
        const unsigned requests = mRequests.exchange(0);
        if (requests == 0 || mStopWatching) continue;
        wait.unlock();
        {
            std::lock_guard<std::mutex> lock(mSwitchLock);
            if (mClient == nullptr) {
                // Switched off meanwhile.
            } else if (requests & kShutDown) {
                std::fputs("The JACK server stopped; audio is switched off.\n", stderr);
                Close(kAudioOffServerGone);
            } else if (requests & kOverloaded) {
                Close(kAudioOffOverload);
            } else if (requests & kRateChanged) {
                std::fprintf(stderr,
                             "The JACK server changed its sample rate to %d Hz; audio is "
                             "switched off and on again.\n",
                             mNewRate.load());
                Close(kAudioOffNone);
                if (Open()) mControls.audioOff.Set(kAudioOffRateChanged);
            }
        }
        wait.lock();
    }
}

// --- the process callback (the server's realtime thread) -------------------------------------

int tJackAudio::CollectEvents(void* midi, int& next, int total, int start, int& end) {
    int count = 0;
    jack_midi_event_t event{};
    while (next < total) {
        if (jack_midi_event_get(&event, midi, static_cast<uint32_t>(next)) != 0) {
            ++next;
            continue;
        }
        const int frame = static_cast<int>(event.time);
        if (frame >= end) break;
        if (count == kMaxEvents) {
            // The rest waits for a further call, from this event's frame on.
            end = std::max(frame, start + 1);
            break;
        }
        ++next;
        // JACK carries whole messages, each with its status byte: the channel messages count;
        // system messages change nothing here.
        if (event.size == 0 || event.buffer[0] < 0x80 || event.buffer[0] >= 0xF0) continue;
        tEngineEvent& out = mEvents[count++];
        out.frame = std::max(frame, start) - start;
        out.size = static_cast<std::uint8_t>(std::min<size_t>(event.size, 3));
        for (int i = 0; i < out.size; ++i) out.bytes[i] = event.buffer[i];
    }
    return count;
}

void tJackAudio::Process(unsigned nframes) {
    const double began = ThreadSeconds();
    const int frames = static_cast<int>(nframes);
    const int channels = mProcessChannels;
    float* outs[2] = {nullptr, nullptr};
    if (!mReady.load(std::memory_order_acquire)) return;
    for (int c = 0; c < channels; ++c) {
        jack_port_t* port = mOutPorts[c].load(std::memory_order_relaxed);
        if (port == nullptr) return;
        outs[c] = static_cast<float*>(jack_port_get_buffer(port, nframes));
    }
    if (mSilent.load(std::memory_order_relaxed)) {
        for (int c = 0; c < channels; ++c) std::fill(outs[c], outs[c] + frames, 0.0f);
        return;
    }
    void* midi = jack_port_get_buffer(mMidiPort.load(std::memory_order_relaxed), nframes);
    const int total = static_cast<int>(jack_midi_get_event_count(midi));
    int next = 0;
    for (int done = 0; done < frames;) {
        int end = std::min(frames, done + kMaxFrames);
        const int count = CollectEvents(midi, next, total, done, end);
        const int piece = end - done;
        mEngine.Process(mEvents, count, mOut, piece);
        for (int c = 0; c < channels; ++c) {
            float* out = outs[c] + done;
            for (int i = 0; i < piece; ++i) out[i] = static_cast<float>(mOut[i * channels + c]);
        }
        done = end;
    }

    const unsigned xruns = mXruns.load(std::memory_order_relaxed);
    if (xruns != mXrunsShown) {
        mXrunsShown = xruns;
        mControls.underruns.Set(xruns);
    }
    const double busy = ThreadSeconds() - began;
    const double share = busy * mRate.load(std::memory_order_relaxed) / std::max(frames, 1);
    mPeriods.fetch_add(1, std::memory_order_relaxed);
    mShareSum.store(mShareSum.load(std::memory_order_relaxed) + share, std::memory_order_relaxed);
    if (share > mShareMax.load(std::memory_order_relaxed))
        mShareMax.store(share, std::memory_order_relaxed);
    if (mMaster.UpdateLoad(busy, frames)) {
        mSilent.store(true, std::memory_order_relaxed);
        mRequests.fetch_or(kOverloaded);
    }
}
