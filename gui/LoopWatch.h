// Work the window's event loop does beside its windows: a file descriptor read when it has
// data, and a task repeated at an interval. Both end with the watch.
#pragma once

#include <functional>

class tLoopWatch {
public:
    // readable runs whenever fd can be read.
    tLoopWatch(int fd, std::function<void()> readable);
    // As above, and tick every seconds.
    tLoopWatch(int fd, std::function<void()> readable, double seconds, std::function<void()> tick);
    ~tLoopWatch();
    tLoopWatch(const tLoopWatch&) = delete;
    tLoopWatch& operator=(const tLoopWatch&) = delete;

private:
    static void Readable(int fd, void* data);
    static void Tick(void* data);

    int mFd;
    std::function<void()> mReadable;
    double mSeconds = 0.0;
    std::function<void()> mTick;
};
