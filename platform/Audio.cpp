#include "platform/Audio.h"

#include "core/Config.h"
#include "dsp/SampleRate.h"
#include "platform/Realtime.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <pthread.h>
#include <unistd.h>

namespace {
// Audio threads that their owner gave up waiting for (held in a write to a device that took
// no data). Their objects are gone; such a thread must touch nothing of them once its write
// returns.
constexpr int kMaxAbandoned = 16;
std::atomic<pthread_t> gAbandoned[kMaxAbandoned];
std::atomic<int> gAbandonedCount{0};

bool IsAbandoned() {
    const int count = std::min(gAbandonedCount.load(), kMaxAbandoned);
    for (int i = 0; i < count; ++i)
        if (pthread_equal(gAbandoned[i].load(), pthread_self())) return true;
    return false;
}

// An abandoned thread waits here for the process to end.
void ParkIfAbandoned() {
    if (!IsAbandoned()) return;
    for (;;) pause();
}
} // namespace

bool tAudio::SuggestSoundServer(int openError, const std::string& device) {
    if (device == "default") return false;
    return openError == -EBUSY || openError == -ENOENT || openError == -ENODEV ||
           openError == -ENXIO;
}

tAudio::tAudio(const tConfig& config) : mConfig(config) {
    mThread = std::thread([this] { ThreadLoop(); });
}

tAudio::~tAudio() {
    mRunning.store(false);
    mStop.store(true);
    WakeThread();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!mThreadDone.load() && std::chrono::steady_clock::now() < deadline) usleep(1000);
    if (mThreadDone.load()) {
        mThread.join();
    } else {
        // The thread is held in a write to a device that takes no data; the process is
        // ending, and waiting for it would keep it from ending. When the write returns, the
        // thread stops there: this object is gone by then.
        Abandon(mThread);
        return;
    }
    std::lock_guard<std::mutex> lock(mDeviceLock);
    CloseLocked();
}

void tAudio::SetCallback(tAudioClient* client) {
    mClient.store(client);
    WakeThread();
}

void tAudio::WakeThread() {
    // Taking the lock orders this wake-up after a wait that has already checked the flags.
    { std::lock_guard<std::mutex> lock(mIdleLock); }
    mIdleWake.notify_all();
}

// --- the audio thread ----------------------------------------------------------------------

void tAudio::ThreadLoop() {
    // Privileges are dropped by the owner once every thread is scheduled (tStartSignal).
    mRealtime.store(realtime::UseFifoScheduling(kThreadPriority));
    if (!mRealtime.load())
        std::fputs("Can not add audio driver to the realtime scheduler!\n", stderr);
    mScheduled.Raise();

    while (!mStop.load()) {
        CloseOrphan();
        // The in-callback flag is raised before the running flag is checked, so that Close,
        // which clears running and then waits for the flag to fall, never misses a callback.
        mInCallback.store(true);
        tAudioClient* client = mClient.load();
        if (client != nullptr && mRunning.load()) {
            client->AudioCallback();
            ParkIfAbandoned();
            mInCallback.store(false);
            continue;
        }
        mInCallback.store(false);
        std::unique_lock<std::mutex> lock(mIdleLock);
        mIdleWake.wait_for(lock, std::chrono::milliseconds(100), [this] {
            return mStop.load() || mOrphan.load() != nullptr ||
                   (mRunning.load() && mClient.load() != nullptr);
        });
    }
    CloseOrphan();
    mThreadDone.store(true);
}

void tAudio::CloseOrphan() {
    if (snd_pcm_t* orphan = mOrphan.exchange(nullptr)) snd_pcm_close(orphan);
}

// --- device ----------------------------------------------------------------------------------

int tAudio::Open(int channels) {
    std::lock_guard<std::mutex> lock(mDeviceLock);
    mChannels.store(channels, std::memory_order_relaxed);
    if (mHandle != nullptr) return mOpenState.load(std::memory_order_relaxed);
    mOpenState.store(kClosed, std::memory_order_relaxed);

    snd_pcm_t* handle = nullptr;
    const std::string& device = mConfig.AudioDevice();
    const int opened =
        snd_pcm_open(&handle, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0) {
        std::fputs("Can't open audio device.\n", stderr);
        if (SuggestSoundServer(opened, device))
            std::fprintf(stderr,
                         "%s is busy or missing: a sound server (PipeWire, PulseAudio) usually "
                         "holds hw:0,0; try 'kelvora -o default'.\n",
                         device.c_str());
        return kClosed;
    }
    if (handle == nullptr) {
        std::fputs("Audio handle not set.\n", stderr);
        return kClosed;
    }
    mHandle.store(handle);
    const int err = snd_pcm_nonblock(handle, 0);
    if (err < 0) {
        std::printf("Setting of block mode failed: %s\n", snd_strerror(err));
        CloseLocked();
        return kClosed;
    }
    mOpenState.store(kOpen, std::memory_order_relaxed);
    return kOpen;
}

int tAudio::ConfiguredRate() const {
    return mConfig.SampleRate();
}

int tAudio::Init(int rate) {
    const int configured = Configure(rate);
    if (configured == 0) Run();
    return configured;
}

void tAudio::Run() {
    if (mHandle.load() == nullptr) return;
    mRunning.store(true);
    WakeThread();
}

int tAudio::Configure(int rate) {
    std::lock_guard<std::mutex> lock(mDeviceLock);
    snd_pcm_t* handle = mHandle.load();
    if (mOpenState.load(std::memory_order_relaxed) == kClosed || handle == nullptr) return 1;
    const int channels = Channels();

    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);

    int err = snd_pcm_hw_params_any(handle, hw);
    if (err < 0) {
        std::printf("Broken configuration for playback: no configurations available: %s\n",
                    snd_strerror(err));
        CloseLocked();
        return -1;
    }
    err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err < 0) {
        std::printf("Access type not available for playback: %s\n", snd_strerror(err));
        CloseLocked();
        return 1;
    }
    err = snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S16_LE);
    if (err < 0) {
        std::printf("Sample format not available for playback: %s\n", snd_strerror(err));
        CloseLocked();
        return -1;
    }
    err = snd_pcm_hw_params_set_channels(handle, hw, static_cast<unsigned>(channels));
    if (err < 0) {
        std::printf("Channels count (%i) not available for playbacks: %s\n", channels,
                    snd_strerror(err));
        CloseLocked();
        return -1;
    }
    unsigned chosenRate = static_cast<unsigned>(rate);
    err = snd_pcm_hw_params_set_rate_near(handle, hw, &chosenRate, nullptr);
    if (err < 0) {
        std::printf("Rate %iHz not available for playback: %s\n", rate, snd_strerror(err));
        CloseLocked();
        return -1;
    }
    const int granted = static_cast<int>(chosenRate);
    if (granted != rate && (granted != mReportedGranted || rate != mReportedAsked)) {
        std::printf("Rate doesn't match (requested %iHz, get %iHz)\n", rate, granted);
        mReportedAsked = rate;
        mReportedGranted = granted;
    }
    if (!isValidSampleRate(granted)) {
        std::printf("Rate %iHz of the device is outside %i..%iHz\n", granted, kMinSampleRate,
                    kMaxSampleRate);
        CloseLocked();
        return -1;
    }
    mRate.store(granted, std::memory_order_relaxed);

    const int period = std::clamp(mConfig.Period(), kMinPeriod, kMaxPeriod);
    const int fragments = mConfig.Fragments();
    mPeriod.store(period, std::memory_order_relaxed);
    mFragments.store(fragments, std::memory_order_relaxed);
    snd_pcm_uframes_t periodSize = static_cast<snd_pcm_uframes_t>(std::max(period, 0));
    err = snd_pcm_hw_params_set_period_size_near(handle, hw, &periodSize, nullptr);
    if (err < 0) {
        std::printf("Unable to set period size %i for playback: %s\n", period, snd_strerror(err));
        return err;
    }
    snd_pcm_uframes_t bufferSize = static_cast<snd_pcm_uframes_t>(std::max(period * fragments, 0));
    err = snd_pcm_hw_params_set_buffer_size_near(handle, hw, &bufferSize);
    if (err < 0) {
        std::printf("Unable to set buffer size %i for playback: %s\n", period * fragments,
                    snd_strerror(err));
        return err;
    }
    err = snd_pcm_hw_params(handle, hw);
    if (err < 0) {
        std::printf("Unable to set hw params for playback: %s\n", snd_strerror(err));
        return err;
    }
    // The blocks follow the period the device settled on, so that each write fills one.
    snd_pcm_uframes_t settled = 0;
    if (snd_pcm_hw_params_get_period_size(hw, &settled, nullptr) >= 0 &&
        settled != static_cast<snd_pcm_uframes_t>(period)) {
        if (settled >= static_cast<snd_pcm_uframes_t>(kMinPeriod) &&
            settled <= static_cast<snd_pcm_uframes_t>(kMaxPeriod)) {
            std::printf("Period size doesn't match (requested %i, get %i)\n", period,
                        static_cast<int>(settled));
            mPeriod.store(static_cast<int>(settled), std::memory_order_relaxed);
        } else {
            std::printf("Period size %lu of the device is outside %i..%i; blocks of %i frames "
                        "are written\n",
                        static_cast<unsigned long>(settled), kMinPeriod, kMaxPeriod, period);
        }
    }
    const int block = Period();
    err = snd_pcm_sw_params_current(handle, sw);
    if (err < 0) {
        std::printf("Unable to determine current swparams for playback: %s\n", snd_strerror(err));
        return err;
    }
    err = snd_pcm_sw_params_set_start_threshold(handle, sw, 1);
    if (err < 0) {
        std::printf("Unable to set start threshold mode for playback: %s\n", snd_strerror(err));
        return err;
    }
    err = snd_pcm_sw_params_set_avail_min(handle, sw, static_cast<snd_pcm_uframes_t>(block));
    if (err < 0) {
        std::printf("Unable to set avail min for playback: %s\n", snd_strerror(err));
        return err;
    }
    err = snd_pcm_sw_params(handle, sw);
    if (err < 0) {
        std::printf("Unable to set sw params for playback: %s\n", snd_strerror(err));
        return err;
    }
    err = snd_pcm_prepare(handle);
    if (err < 0) {
        std::printf("Unable to prepare for playback: %s\n", snd_strerror(err));
        return err;
    }
    return 0;
}

void tAudio::Close() {
    mRunning.store(false);
    // From the owning thread: let a block under way finish before the device goes, for a
    // while. From the audio thread itself (the overload guard) there is nothing to wait for.
    const bool fromAudioThread = OnAudioThread();
    if (!fromAudioThread) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
        while (mInCallback.load() && std::chrono::steady_clock::now() < deadline) usleep(1000);
    }
    std::lock_guard<std::mutex> lock(mDeviceLock);
    if (!fromAudioThread && mInCallback.load()) {
        // The block is still in its write: the audio thread closes the device after it.
        snd_pcm_t* handle = mHandle.exchange(nullptr);
        if (handle != nullptr) {
            mOpenState.store(kClosed, std::memory_order_relaxed);
            if (snd_pcm_t* older = mOrphan.exchange(handle)) snd_pcm_close(older);
        }
        WakeThread();
        return;
    }
    CloseLocked();
}

void tAudio::CloseLocked() {
    snd_pcm_t* handle = mHandle.exchange(nullptr);
    if (handle == nullptr) return;
    snd_pcm_close(handle);
    mOpenState.store(kClosed, std::memory_order_relaxed);
}

// --- writing (audio thread) --------------------------------------------------------------

void tAudio::Abandon(std::thread& thread) {
    const int slot = gAbandonedCount.fetch_add(1);
    if (slot < kMaxAbandoned) gAbandoned[slot].store(thread.native_handle());
    thread.detach();
}

int tAudio::Write(const int16_t* samples) {
    const int period = Period();
    const int channels = Channels();
    snd_pcm_t* handle = mHandle.load();
    if (handle == nullptr) return 0;
    snd_pcm_sframes_t left = period;
    const int16_t* position = samples;
    // Once audio is switched off the rest of the block is dropped.
    while (left > 0 && mRunning.load(std::memory_order_relaxed)) {
        const snd_pcm_sframes_t written =
            snd_pcm_writei(handle, position, static_cast<snd_pcm_uframes_t>(left));
        ParkIfAbandoned();
        if (written == -EAGAIN) continue;
        if (written < 0) {
            const int err = static_cast<int>(written);
            if (err != -EPIPE && err != -ESTRPIPE) return err; // the device is gone
            // An underrun, or a suspended device: the rest of the block is dropped.
            mUnderruns.fetch_add(1, std::memory_order_relaxed);
            const int recovered = snd_pcm_recover(handle, err, 1);
            return recovered < 0 ? recovered : 0;
        }
        left -= written;
        position += written * channels;
    }
    return 0;
}
