#include "core/AudioCallback.h"

#include "core/Rack.h"

#include <unistd.h>

tRenderCallback::tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master,
                                 tMasterControls& controls, tLoadCounters& counters)
    : mRack(rack), mAudio(audio), mMaster(master), mControls(controls), mCounters(counters) {}

void tRenderCallback::AudioCallback() {
    mCounters.CountBlock();
    mAudio.Write(mMaster.Samples());
    const int frames = mAudio.Period();
    const double* mix = mRack.Render(frames);
    if (mMaster.Process(mix, frames, mAudio.Channels(), mAudio.Fragments())) Overloaded();
}

void tRenderCallback::Overloaded() {
    // On the audio thread. When the GUI thread is switching audio at this moment it owns the
    // device; the guard then leaves the decision to it.
    std::unique_lock<std::mutex> lock(mSwitchLock, std::try_to_lock);
    if (lock.owns_lock()) StopLocked();
    usleep(kOverloadPauseMicroseconds);
    mCounters.ResetBlocks();
}

bool tRenderCallback::Start() {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    if (IsOn()) return true;
    return StartLocked();
}

bool tRenderCallback::StartLocked() {
    mRack.AllNotesOff();
    mRack.SetChannels(mChannels.load());
    mRack.PrepareAll();
    return OpenDevice();
}

bool tRenderCallback::OpenDevice() {
    const int state = mAudio.Open(mChannels.load());
    if (state != tAudio::kClosed && mAudio.Init(kRate) == 0) {
        mState.store(state);
        mControls.audioOn.Set(1);
        mControls.audioLight.Set(1);
        return true;
    }
    if (state != tAudio::kClosed) mAudio.Close();
    mRack.AllNotesOff();
    mState.store(tAudio::kClosed);
    mControls.audioOn.Set(0);
    mControls.audioLight.Set(0);
    return false;
}

void tRenderCallback::Stop() {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    StopLocked();
}

void tRenderCallback::StopLocked() {
    mRack.AllNotesOff();
    mAudio.Close();
    mState.store(tAudio::kClosed);
    mControls.audioOn.Set(0);
    mControls.audioLight.Set(0);
}

void tRenderCallback::SetChannels(int channels) {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    const bool wasOn = IsOn();
    if (wasOn) {
        mRack.AllNotesOff();
        mAudio.Close();
        mState.store(tAudio::kClosed);
    }
    mChannels.store(channels == 1 ? 1 : 2);
    mRack.SetChannels(mChannels.load());
    mRack.PrepareAll();
    if (wasOn) OpenDevice();
}
