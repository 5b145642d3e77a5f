// Everything the synthesizer runs except its windows: the settings, the rack, the master
// stage, the audio back-ends (the ALSA device with its thread and render callback, the JACK
// client) behind one switch, the tick thread and the MIDI input thread.
//
// Start follows the start-up order: the rc file, then the command line over it, the render
// callback, the tick thread, the MIDI source with its thread; then, once every thread has
// set its scheduling, the memory is locked in RAM when the audio thread runs in realtime,
// privileges are dropped (once, for the whole process), and the rack is set up for stereo. Audio
// stays off until switched on. The destructor switches audio off and ends the threads before the
// rack goes.
#pragma once

#include "app/CommandLine.h"
#include "core/Config.h"
#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "platform/Audio.h"
#include "platform/AudioCallback.h"
#include "platform/AudioSystems.h"
#include "platform/JackAudio.h"
#include "platform/MidiIn.h"
#include "platform/TickThread.h"

#include <optional>

class tProgram {
public:
    tProgram();
    ~tProgram();
    tProgram(const tProgram&) = delete;
    tProgram& operator=(const tProgram&) = delete;

    // The steps before the main window is shown. Returns the exit status when the program
    // ends here (-1 for the usage text and start-up failures, 0 for a named file that is
    // not a FIFO); nothing when it goes on.
    std::optional<int> Start(int argc, char** argv, int standardInput = 0);

    const tCommandLine& Options() const { return mOptions; }
    tConfig& Config() { return mConfig; }
    tRack& Rack() { return mRack; }
    tMasterControls& Master() { return mMaster; }
    tLoadCounters& Counters() { return mCounters; }
    // The back-end the configuration chooses: ALSA or JACK.
    tAudioSwitch& AudioSwitch() { return mSystems; }
    tAudio& Audio() { return mAudio; }
    tJackAudio& Jack() { return mJack; }
    tMidiIn& MidiIn() { return mMidiIn; }
    // Whether the memory was locked in RAM (only with a realtime audio thread).
    bool MemoryLocked() const { return mMemoryLocked; }

private:
    tConfig mConfig;
    tCommandLine mOptions;
    tRack mRack;
    tMasterControls mMaster;
    tLoadCounters mCounters;
    tMasterStage mStage;
    tAudio mAudio;
    tRenderCallback mCallback;
    tJackAudio mJack;
    tAudioSystems mSystems;
    std::optional<tTickThread> mTick;
    tMidiIn mMidiIn;
    bool mMemoryLocked = false;
};
