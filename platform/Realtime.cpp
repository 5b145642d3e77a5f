#include "platform/Realtime.h"

#include <cerrno>
#include <cstdio>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

namespace realtime {

bool UseFifoScheduling(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    int policy = -1;
    return pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_FIFO;
}

bool UseNormalScheduling() {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    int policy = -1;
    const bool normal =
        pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_OTHER;
    // On Linux the nice value belongs to the calling thread alone.
    errno = 0;
    if (nice(1) == -1 && errno != 0) std::perror("nice");
    return normal;
}

bool LockMemory() {
#ifdef MCL_ONFAULT
    // Pages are locked as they are touched; nothing is read in ahead for it.
    if (mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) == 0) return true;
#endif
    return mlockall(MCL_CURRENT | MCL_FUTURE) == 0;
}

bool DropPrivileges() {
    const uid_t real = getuid();
    if (geteuid() != real && seteuid(real) != 0) std::perror("seteuid");
    return geteuid() == real;
}

} // namespace realtime

void tStartSignal::Raise() {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mDone = true;
    }
    mRaised.notify_all();
}

void tStartSignal::Wait() {
    std::unique_lock<std::mutex> lock(mLock);
    mRaised.wait(lock, [this] { return mDone; });
}

bool tStartSignal::IsRaised() {
    std::lock_guard<std::mutex> lock(mLock);
    return mDone;
}
