// The audio switch the window and the program drive: it passes "On", "Off" and the channel
// count to the ALSA back-end or the JACK back-end, as the configuration's audio system says
// when audio is switched on. The back-end that runs stays in charge until audio is off again,
// so a change of the setting takes effect at the next "On".
#pragma once

#include "core/AudioSwitch.h"

#include <atomic>

class tConfig;

class tAudioSystems : public tAudioSwitch {
public:
    // Both back-ends drive the same rack and master stage; only one of them runs at a time.
    tAudioSystems(const tConfig& config, tAudioSwitch& alsa, tAudioSwitch& jack);

    bool Start() override;
    void Stop() override { Running().Stop(); }
    bool IsOn() const override { return Running().IsOn(); }
    void SetChannels(int channels) override;
    int Channels() const override { return mChannels.load(); }
    std::string FailureMessage() const override { return Running().FailureMessage(); }

    // The back-end that runs, or the one the next "On" starts.
    tAudioSwitch& Running() const;

private:
    tAudioSwitch& Chosen() const;

    const tConfig& mConfig;
    tAudioSwitch& mAlsa;
    tAudioSwitch& mJack;
    std::atomic<tAudioSwitch*> mRunning{nullptr};
    std::atomic<int> mChannels{2};
};
