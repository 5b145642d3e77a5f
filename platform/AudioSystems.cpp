#include "platform/AudioSystems.h"

#include "core/Config.h"

tAudioSystems::tAudioSystems(const tConfig& config, tAudioSwitch& alsa, tAudioSwitch& jack)
    : mConfig(config), mAlsa(alsa), mJack(jack) {}

tAudioSwitch& tAudioSystems::Chosen() const {
    return mConfig.AudioSystem() == tConfig::kJack ? mJack : mAlsa;
}

tAudioSwitch& tAudioSystems::Running() const {
    tAudioSwitch* running = mRunning.load();
    if (running != nullptr && running->IsOn()) return *running;
    return Chosen();
}

bool tAudioSystems::Start() {
    tAudioSwitch& other = &Chosen() == &mAlsa ? mJack : mAlsa;
    if (other.IsOn()) return true; // the one started before still runs
    tAudioSwitch& chosen = Chosen();
    // The channel count reaches a back-end only while it is the one in charge: preparing the
    // rack for one while the other renders it would disturb that one.
    if (chosen.Channels() != mChannels.load()) chosen.SetChannels(mChannels.load());
    mRunning.store(&chosen);
    return chosen.Start();
}

void tAudioSystems::SetChannels(int channels) {
    mChannels.store(channels == 1 ? 1 : 2);
    Running().SetChannels(mChannels.load());
}
