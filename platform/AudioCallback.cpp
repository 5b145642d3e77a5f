#include "platform/AudioCallback.h"

#include "core/Rack.h"

#include <algorithm>
#include <unistd.h>

tRenderCallback::tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master,
                                 tMasterControls& controls, tLoadCounters& counters)
    : mRack(rack), mAudio(audio), mMaster(master), mEngine(rack, master), mControls(controls),
      mCounters(counters) {}

void tRenderCallback::AudioCallback() {
    mCounters.CountBlock();
    mAudio.Write(mSamples);
    // The device's block length, within what the sample buffer holds.
    const int frames = std::min(mAudio.Period(), tAudio::kMaxPeriod);
    mEngine.Process(nullptr, 0, mOut, frames);
    tMasterStage::ToSamples(mOut, frames * mEngine.Channels(), mSamples);
    if (mMaster.UpdateLoad(frames, mAudio.Fragments())) Overloaded();
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
    return OpenDevice();
}

bool tRenderCallback::OpenDevice() {
    const int channels = mChannels.load();
    const int state = mAudio.Open(channels);
    if (state == tAudio::kClosed) {
        ShowOff();
        return false;
    }
    if (mAudio.Configure(mAudio.ConfiguredRate()) != 0) {
        mAudio.Close();
        ShowOff();
        return false;
    }
    // The modules run at the rate the device gave, prepared before the first block.
    mEngine.Prepare(mAudio.Rate(), channels);
    // Shown as on before the first block can run: an overload guard that fires in the very
    // first blocks then has the last word.
    mState.store(state);
    mControls.audioOn.Set(1);
    mControls.audioLight.Set(1);
    // From the first block on, events wait for the block that delivers them.
    mRack.SetRendering(true);
    mAudio.Run();
    return true;
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
    if (wasOn)
        OpenDevice();
    else
        mEngine.Prepare(mEngine.SampleRate(), mChannels.load());
}
