// Scheduling of the program's threads and the single drop of privileges after them.
//
// Each thread sets its own scheduling when it starts: the audio and MIDI threads ask for
// SCHED_FIFO, the tick thread for normal scheduling one step nicer. Changing the effective
// user id changes it for the whole process, so it happens once, in the owning thread, after
// every thread has announced through its tStartSignal that its scheduling is set; a thread
// started after the drop would be refused realtime scheduling.
#pragma once

#include <condition_variable>
#include <mutex>

namespace realtime {

constexpr int kPriority = 20;

// Puts the calling thread on SCHED_FIFO at priority; true when the thread's policy then is
// SCHED_FIFO.
bool UseFifoScheduling(int priority);
// Puts the calling thread on SCHED_OTHER at priority 0, then one step nicer; true when the
// thread's policy then is SCHED_OTHER.
bool UseNormalScheduling();
// Keeps the process's memory, present and future, in RAM, so that the realtime threads never
// wait for a page to come back from swap. True when that was granted.
bool LockMemory();
// The effective user id becomes the real one (nothing changes when they are equal); true
// when they are equal afterwards.
bool DropPrivileges();

} // namespace realtime

// Raised once by a starting thread when its scheduling is set; waited for by its owner.
class tStartSignal {
public:
    void Raise();
    void Wait();
    bool IsRaised();

private:
    std::mutex mLock;
    std::condition_variable mRaised;
    bool mDone = false;
};
