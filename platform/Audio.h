// The ALSA PCM playback device and the audio thread.
//
// The audio thread exists for the life of the object. While the device runs it calls the
// installed client over and over; the client's blocking Write of each block paces it. While
// the device is closed the thread idles. Open, Init and Close are called by the thread that
// switches audio on and off; Close may also be called by the client from inside its callback
// (the overload guard). Close waits until a callback under way has finished before the
// device goes away, but never longer than kCloseWaitMs: a device that stopped taking data
// would keep the callback in its write for ever. The device is then handed to the audio
// thread, which closes it as soon as that write returns, and audio is off at once.
#pragma once

#include "platform/Realtime.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class tConfig;
struct _snd_pcm; // snd_pcm_t

// What the audio thread calls while audio runs: one block per call.
class tAudioClient {
public:
    virtual void AudioCallback() = 0;

protected:
    ~tAudioClient() = default;
};

class tAudio {
public:
    static constexpr int kOpen = 8;
    static constexpr int kClosed = -1;
    static constexpr int kThreadPriority = 20;
    // Longest wait of Close for the block under way, and of the recovery from a suspended
    // device, in milliseconds.
    static constexpr int kCloseWaitMs = 500;
    // The block lengths the rack and the master stage can take.
    static constexpr int kMinPeriod = 16;
    static constexpr int kMaxPeriod = 256;

    // The device name, period size and fragment count are read from config at Open and Init.
    explicit tAudio(const tConfig& config);
    ~tAudio();
    tAudio(const tAudio&) = delete;
    tAudio& operator=(const tAudio&) = delete;

    // The client the audio thread calls (null: none). Change it only while audio is off; the
    // client must outlive its use.
    void SetCallback(tAudioClient* client);

    // Opens the configured device for blocking playback of channels interleaved channels.
    // Returns kOpen, or kClosed after printing why. An open device stays as it is.
    int Open(int channels);
    // Whether an open that failed so should be followed by the hint to use the sound
    // server's device "default": the device is busy or does not exist.
    static bool SuggestSoundServer(int openError, const std::string& device);
    // Configures the open device (S16_LE, rate, period, buffer of period x fragments) and
    // starts the callbacks. The block length (Period) is the period the device settled on
    // when that lies in kMinPeriod..kMaxPeriod, else the configured one. The rate is the
    // nearest the device offers (Rate); a rate other than the one asked for is reported the
    // first time the device gives it, and one outside the rates the engine accepts is an
    // error. Returns 0 on success, 1 when the device is closed, otherwise -1 or the ALSA error
    // after printing it.
    int Init(int rate);
    // Init in two steps, so that the engine can be prepared at the granted rate before the
    // first callback: Configure does all but starting, Run starts the callbacks.
    int Configure(int rate);
    void Run();
    // The rate the configuration asks for, and the one the device granted at the last
    // Configure (0 before).
    int ConfiguredRate() const;
    int Rate() const { return mRate.load(std::memory_order_relaxed); }
    // Stops the callbacks and closes the device; returns within about kCloseWaitMs.
    void Close();
    // Writes one period of frames x channels samples, waiting until the device takes it.
    // An underrun (or a suspended device) is counted and recovered from, dropping the rest of
    // the block. Returns 0, or the negative ALSA error when the device is gone (unplugged,
    // broken: -ENODEV, -EBADFD, -EIO, or an underrun it cannot recover from).
    int Write(const int16_t* samples);
    // Underruns since the object was made.
    unsigned Underruns() const { return mUnderruns.load(std::memory_order_relaxed); }

    int Channels() const { return mChannels.load(std::memory_order_relaxed); }
    int Period() const { return mPeriod.load(std::memory_order_relaxed); }
    int Fragments() const { return mFragments.load(std::memory_order_relaxed); }
    int OpenState() const { return mOpenState.load(std::memory_order_relaxed); }
    bool IsRunning() const { return mRunning.load(); }
    // A device that Close handed to the audio thread and that is not closed yet.
    bool ClosePending() const { return mOrphan.load() != nullptr; }
    // Waits until the audio thread has set its scheduling.
    void WaitScheduled() { mScheduled.Wait(); }
    // Whether the audio thread runs on the realtime scheduler (known once scheduled).
    bool IsRealtime() const { return mRealtime.load(); }

private:
    void ThreadLoop();
    void WakeThread();
    void CloseLocked();
    void CloseOrphan(); // audio thread
    // Lets the thread go while it waits in a write; it stops for good when the write returns.
    static void Abandon(std::thread& thread);
    bool OnAudioThread() const { return std::this_thread::get_id() == mThread.get_id(); }

    const tConfig& mConfig;
    std::atomic<int> mChannels{1};
    std::atomic<int> mPeriod{128};
    std::atomic<int> mFragments{2};
    std::atomic<int> mRate{0};
    std::atomic<unsigned> mUnderruns{0};
    // The last rate mismatch reported (asked for, granted), so that it is told only once.
    int mReportedAsked = 0;
    int mReportedGranted = 0;

    std::mutex mDeviceLock; // open, configure, close
    std::atomic<_snd_pcm*> mHandle{nullptr};
    // A device whose last write had not returned when Close gave up waiting.
    std::atomic<_snd_pcm*> mOrphan{nullptr};
    std::atomic<int> mOpenState{kClosed};

    std::atomic<bool> mRunning{false};
    std::atomic<bool> mStop{false};
    std::atomic<bool> mInCallback{false};
    std::atomic<bool> mThreadDone{false};
    std::atomic<tAudioClient*> mClient{nullptr};

    tStartSignal mScheduled;
    std::atomic<bool> mRealtime{false};

    std::mutex mIdleLock; // the idle thread's wake-up
    std::condition_variable mIdleWake;
    std::thread mThread;
};
