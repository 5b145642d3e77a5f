#include "platform/TickThread.h"

#include <chrono>
#include <cstdio>

tTickThread::tTickThread(tLoadCounters& counters) : mCounters(counters) {
    mThread = std::thread([this] { Run(); });
}

tTickThread::~tTickThread() {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mStop = true;
    }
    mWake.notify_all();
    mThread.join();
}

void tTickThread::Run() {
    if (!realtime::UseNormalScheduling())
        std::fputs("Ops, vital thread failed in set normal scheduler!\n", stderr);
    mScheduled.Raise();
    std::unique_lock<std::mutex> lock(mLock);
    while (!mStop) {
        mCounters.Tick();
        mWake.wait_for(lock, std::chrono::microseconds(kTickMicroseconds),
                       [this] { return mStop; });
    }
}
