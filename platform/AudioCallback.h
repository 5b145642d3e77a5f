// The render callback and the audio switch: what ties the engine (the rack and the master
// stage) and the ALSA audio device together.
//
// Each callback, on the audio thread: write the previous block to the device (which waits
// until the device takes it), let the engine render the next period, convert it to 16-bit
// samples, and hand the master stage the thread's processor time for the period. Audio goes
// off by itself when the master stage reports overload or the device is gone; the main window
// is told why (tMasterControls::audioOff), and the device's underruns are counted for it.
// MIDI reaches the rack through its queue, so the engine gets no events of its own here.
// The "On" button's paths (Start, Stop) and the mono/stereo switch (SetChannels) run on the
// GUI thread; the overload guard runs the same off path on the audio thread.
//
// Switching on opens the device at the configured sample rate; the engine is prepared at the
// rate the device grants, before the first block.
#pragma once

#include "core/AudioSwitch.h"
#include "core/Engine.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "platform/Audio.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class tRack;

class tRenderCallback : public tAudioClient, public tAudioSwitch {
public:
    static constexpr unsigned kOverloadPauseMicroseconds = 10000;

    tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master, tMasterControls& controls);
    tRenderCallback(const tRenderCallback&) = delete;
    tRenderCallback& operator=(const tRenderCallback&) = delete;

    // One block, on the audio thread.
    void AudioCallback() override;

    // Audio on: the device opened and configured at the configured rate, then the engine
    // prepared at the rate the device gave (all notes off, the rack's channel count and rate,
    // every module prepared). True when audio runs; otherwise the device is closed again and
    // the "On" button stays 0.
    bool Start() override;
    // Audio off: all notes off, device closed, "On" button and light 0.
    void Stop() override;
    bool IsOn() const override { return mState.load() != tAudio::kClosed; }
    // -1 while audio is off, else the device's open state.
    int State() const { return mState.load(); }

    // The mono/stereo switch: 1 or 2 channels; restarts audio when it was on.
    void SetChannels(int channels) override;
    int Channels() const override { return mChannels.load(); }

    // The rate the engine runs at: the one the device granted when audio was last switched on.
    int SampleRate() const { return mEngine.SampleRate(); }
    // The block the next callback writes: frames x channels 16-bit samples.
    const int16_t* Samples() const { return mSamples; }

private:
    bool OpenDevice();
    void ShowOff();   // all notes off, state -1, "On" and light 0
    void SwitchOff(); // the off path: all notes off, device closed, shown off
    void Overloaded();
    void DeviceLost(int error);
    void SwitchOffFromAudioThread(int reason);

    static constexpr int kMaxValues = tAudio::kMaxPeriod * 2;

    tRack& mRack;
    tAudio& mAudio;
    tMasterStage& mMaster;
    tEngine mEngine;
    tMasterControls& mControls;
    std::mutex mSwitchLock; // start, stop and channel changes from the owning thread(s)
    std::atomic<int> mState{tAudio::kClosed};
    std::atomic<int> mChannels{1};
    double mOut[kMaxValues] = {};
    double mLastBusy = -1.0; // the audio thread's processor time at the last block
    unsigned mUnderrunsShown = 0;
    int16_t mSamples[kMaxValues] = {};
};
