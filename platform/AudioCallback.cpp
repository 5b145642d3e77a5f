#include "platform/AudioCallback.h"

#include "core/Rack.h"

#include <algorithm>
#include <unistd.h>

tRenderCallback::tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master,
                                 tMasterControls& controls, tLoadCounters& counters)
    : mRack(rack), mAudio(audio), mMaster(master), mControls(controls), mCounters(counters) {}

void tRenderCallback::AudioCallback() {
    mCounters.CountBlock();
    mAudio.Write(mMaster.Samples());
    // The device's block length, within what the rack's mix holds.
    const int channels = mAudio.Channels();
    const int frames = std::min(mAudio.Period(), tRack::kMixSize / std::max(channels, 1));
    const double* mix = mRack.Render(frames);
    if (mMaster.Process(mix, frames, channels, mAudio.Fragments())) Overloaded();
}

void tRenderCallback::Overloaded() {
    // On the audio thread, without the switch lock: the owning thread may hold it while it
    // waits in Close for this very block to end. Both off paths write the same values, and
    // the device tolerates being closed twice.
    SwitchOff();
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
    if (state == tAudio::kClosed) {
        ShowOff();
        return false;
    }
    // Shown as on before the first block can run: an overload guard that fires in the very
    // first blocks then has the last word.
    mState.store(state);
    mControls.audioOn.Set(1);
    mControls.audioLight.Set(1);
    // From the first block on, events wait for the block that delivers them.
    mRack.SetRendering(true);
    if (mAudio.Init(kRate) == 0) return true;
    mAudio.Close();
    mRack.SetRendering(false);
    ShowOff();
    return false;
}

void tRenderCallback::ShowOff() {
    mRack.AllNotesOff();
    mState.store(tAudio::kClosed);
    mControls.audioOn.Set(0);
    mControls.audioLight.Set(0);
}

void tRenderCallback::Stop() {
    std::lock_guard<std::mutex> lock(mSwitchLock);
    SwitchOff();
}

void tRenderCallback::SwitchOff() {
    mRack.AllNotesOff();
    mAudio.Close();
    // No block renders now: events reach the modules at once.
    mRack.SetRendering(false);
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
        mRack.SetRendering(false);
        mState.store(tAudio::kClosed);
    }
    mChannels.store(channels == 1 ? 1 : 2);
    mRack.SetChannels(mChannels.load());
    mRack.PrepareAll();
    if (wasOn) OpenDevice();
}
