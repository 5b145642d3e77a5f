// The tick thread: at normal priority, one step nicer, it zeroes the load counters every
// 2 ms. The realtime threads count their work between ticks; while they keep the processor
// busy this thread does not run, and the counts grow (tLoadCounters).
#pragma once

#include "core/LoadCounters.h"
#include "platform/Realtime.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class tTickThread {
public:
    static constexpr int kTickMicroseconds = 2000;

    explicit tTickThread(tLoadCounters& counters);
    ~tTickThread();
    tTickThread(const tTickThread&) = delete;
    tTickThread& operator=(const tTickThread&) = delete;

    // Returns when the thread has set its scheduling.
    void WaitScheduled() { mScheduled.Wait(); }

private:
    void Run();

    tLoadCounters& mCounters;
    tStartSignal mScheduled;
    std::mutex mLock;
    std::condition_variable mWake;
    bool mStop = false;
    std::thread mThread;
};
