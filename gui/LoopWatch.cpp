#include "gui/LoopWatch.h"

#include <FL/Fl.H>

#include <utility>

tLoopWatch::tLoopWatch(int fd, std::function<void()> readable)
    : mFd(fd), mReadable(std::move(readable)) {
    Fl::add_fd(mFd, FL_READ, Readable, this);
}

tLoopWatch::tLoopWatch(int fd, std::function<void()> readable, double seconds,
                       std::function<void()> tick)
    : tLoopWatch(fd, std::move(readable)) {
    mSeconds = seconds;
    mTick = std::move(tick);
    Fl::add_timeout(mSeconds, Tick, this);
}

tLoopWatch::~tLoopWatch() {
    if (mTick) Fl::remove_timeout(Tick, this);
    Fl::remove_fd(mFd);
}

void tLoopWatch::Readable(int, void* data) {
    static_cast<tLoopWatch*>(data)->mReadable();
}

void tLoopWatch::Tick(void* data) {
    auto* self = static_cast<tLoopWatch*>(data);
    self->mTick();
    Fl::repeat_timeout(self->mSeconds, Tick, data);
}
