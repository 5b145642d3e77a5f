#include "app/Program.h"

#include "app/MidiSource.h"
#include "platform/Realtime.h"

#include <cstdio>

tProgram::tProgram()
    : mStage(mMaster), mAudio(mConfig), mCallback(mRack, mAudio, mStage, mMaster),
      mJack(mRack, mStage, mMaster), mSystems(mConfig, mCallback, mJack),
      mMidiIn(mRack, mCounters) {}

tProgram::~tProgram() {
    mMidiIn.Stop();
    mCallback.Stop();
    mJack.Stop();
    mAudio.SetCallback(nullptr);
}

std::optional<int> tProgram::Start(int argc, char** argv, int standardInput) {
    mConfig.Read();
    if (!ParseCommandLine(argc, argv, mConfig, mOptions)) return -1;
    mAudio.SetCallback(&mCallback);
    tJackSettings jack;
    jack.clientName = mOptions.jackName;
    jack.autoconnect = mOptions.autoconnect;
    mJack.SetSettings(jack);
    mTick.emplace(mCounters);

    tMidiSource source;
    if (const std::optional<int> status = ChooseMidiSource(mOptions.midiIn, standardInput, source))
        return status;
    StartMidiSource(source, mMidiIn);

    // Changing the effective user id changes it for every thread, so it waits until each
    // realtime thread holds its scheduling.
    mAudio.WaitScheduled();
    mTick->WaitScheduled();
    mMidiIn.WaitScheduled();
    // A realtime audio thread must not wait for its memory to come back from swap.
    if (mAudio.IsRealtime()) {
        mMemoryLocked = realtime::LockMemory();
        if (!mMemoryLocked) std::perror("Can not lock the program's memory in RAM");
    }
    realtime::DropPrivileges();

    mSystems.SetChannels(2);
    return std::nullopt;
}
