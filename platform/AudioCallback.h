// The render callback and the audio switch: what ties the rack, the master stage and the
// audio device together.
//
// Each callback, on the audio thread: count the block, write the previous block to the
// device (which waits until the device takes it), render the next block from the rack, run
// it through the master stage, and switch audio off when the master stage reports overload.
// The "On" button's paths (Start, Stop) and the mono/stereo switch (SetChannels) run on the
// GUI thread; the overload guard runs the same off path on the audio thread.
#pragma once

#include "core/AudioSwitch.h"
#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "platform/Audio.h"

#include <atomic>
#include <mutex>

class tRack;

class tRenderCallback : public tAudioClient, public tAudioSwitch {
public:
    static constexpr int kRate = 44100;
    static constexpr unsigned kOverloadPauseMicroseconds = 10000;

    tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master, tMasterControls& controls,
                    tLoadCounters& counters);
    tRenderCallback(const tRenderCallback&) = delete;
    tRenderCallback& operator=(const tRenderCallback&) = delete;

    // One block, on the audio thread.
    void AudioCallback() override;

    // Audio on: all notes off, the rack set up for the channel count, the device opened and
    // configured. True when audio runs; otherwise the device is closed again and the "On"
    // button stays 0.
    bool Start() override;
    // Audio off: all notes off, device closed, "On" button and light 0.
    void Stop() override;
    bool IsOn() const override { return mState.load() != tAudio::kClosed; }
    // -1 while audio is off, else the device's open state.
    int State() const { return mState.load(); }

    // The mono/stereo switch: 1 or 2 channels; restarts audio when it was on.
    void SetChannels(int channels) override;
    int Channels() const override { return mChannels.load(); }

private:
    bool StartLocked();
    bool OpenDevice();
    void ShowOff();   // all notes off, state -1, "On" and light 0
    void SwitchOff(); // the off path: all notes off, device closed, shown off
    void Overloaded();

    tRack& mRack;
    tAudio& mAudio;
    tMasterStage& mMaster;
    tMasterControls& mControls;
    tLoadCounters& mCounters;
    std::mutex mSwitchLock; // start, stop and channel changes from the owning thread(s)
    std::atomic<int> mState{tAudio::kClosed};
    std::atomic<int> mChannels{1};
};
