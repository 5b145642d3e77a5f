#include "platform/AudioCallback.h"

#include "core/Rack.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
// The calling thread's processor time in seconds.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}
} // namespace

tRenderCallback::tRenderCallback(tRack& rack, tAudio& audio, tMasterStage& master,
                                 tMasterControls& controls)
    : mRack(rack), mAudio(audio), mMaster(master), mEngine(rack, master), mControls(controls) {}

void tRenderCallback::AudioCallback() {
    const int written = mAudio.Write(mSamples);
    if (written < 0) {
        DeviceLost(written);
        return;
    }
    const unsigned underruns = mAudio.Underruns();
    if (underruns != mUnderrunsShown) {
        mUnderrunsShown = underruns;
        mControls.underruns.Set(underruns);
    }
    // The device's block length, within what the sample buffer holds.
    const int frames = std::min(mAudio.Period(), tAudio::kMaxPeriod);
    mEngine.Process(nullptr, 0, mOut, frames);
    tMasterStage::ToSamples(mOut, frames * mEngine.Channels(), mSamples);
    // The thread's processor time since the last block: rendering, converting and writing
    // (waiting for the device takes none).
    const double now = ThreadSeconds();
    const double busy = mLastBusy < 0.0 ? 0.0 : now - mLastBusy;
    mLastBusy = now;
    if (mMaster.UpdateLoad(busy, frames)) Overloaded();
}

void tRenderCallback::Overloaded() {
    SwitchOffFromAudioThread(kAudioOffOverload);
    usleep(kOverloadPauseMicroseconds);
}

void tRenderCallback::DeviceLost(int error) {
    std::fprintf(stderr, "The audio device stopped working (%s); audio is switched off.\n",
                 snd_strerror(error));
    SwitchOffFromAudioThread(kAudioOffDeviceLost);
}

void tRenderCallback::SwitchOffFromAudioThread(int reason) {
    // Without the switch lock: the owning thread may hold it while it waits in Close for this
    // very block to end. The state is written last, so that a press of "On" meanwhile finds
    // audio still on and changes nothing; from then on it opens the device afresh.
    mRack.AllNotesOff();
    mAudio.Close();
    mRack.SetRendering(false);
    mControls.audioOn.Set(0);
    mControls.audioLight.Set(0);
    mControls.audioOff.Set(reason);
    mState.store(tAudio::kClosed);
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
    mLastBusy = -1.0;
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
