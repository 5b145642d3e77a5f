#include "app/Program.h"

#include "app/MidiSource.h"
#include "platform/Realtime.h"

tProgram::tProgram()
    : mStage(mMaster, mCounters), mAudio(mConfig),
      mCallback(mRack, mAudio, mStage, mMaster, mCounters), mMidiIn(mRack, mCounters) {}

tProgram::~tProgram() {
    mMidiIn.Stop();
    mCallback.Stop();
    mAudio.SetCallback(nullptr);
}

std::optional<int> tProgram::Start(int argc, char** argv, int standardInput) {
    mConfig.Read();
    if (!ParseCommandLine(argc, argv, mConfig, mOptions)) return -1;
    mAudio.SetCallback(&mCallback);
    mTick.emplace(mCounters);

    tMidiSource source;
    if (const std::optional<int> status = ChooseMidiSource(mOptions.midiIn, standardInput, source))
        return status;
    StartMidiSource(source, mMidiIn, mCounters);

    // Changing the effective user id changes it for every thread, so it waits until each
    // realtime thread holds its scheduling.
    mAudio.WaitScheduled();
    mTick->WaitScheduled();
    mMidiIn.WaitScheduled();
    realtime::DropPrivileges();

    mCallback.SetChannels(2);
    return std::nullopt;
}
