// What the main window's "On" and "stereo" buttons drive: the audio output, switched on and
// off and between mono and stereo. The render callback implements it over the real device;
// the window knows only this.
#pragma once

#include <string>

class tAudioSwitch {
public:
    virtual ~tAudioSwitch() = default;
    // Audio on: all notes off, modules prepared, device opened. False when the device could
    // not be used (audio stays off).
    virtual bool Start() = 0;
    // Audio off: all notes off, device closed.
    virtual void Stop() = 0;
    virtual bool IsOn() const = 0;
    // 1 (mono) or 2 (stereo); restarts audio when it was on.
    virtual void SetChannels(int channels) = 0;
    virtual int Channels() const = 0;
    // Why the last Start failed, for the window; empty when the terminal has said it all.
    virtual std::string FailureMessage() const { return std::string(); }
};
