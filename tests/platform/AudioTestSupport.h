// Helpers shared by the tests that run the real audio thread.
#pragma once

#include "platform/Audio.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <unistd.h>

// Polls until done() holds or a few seconds have passed; returns done().
inline bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Counts the callbacks and, since the test devices take samples as fast as they come, rests
// a little after each so that the realtime audio thread does not hog a processor.
class tPacedClient : public tAudioClient {
public:
    explicit tPacedClient(tAudioClient& inner) : mInner(inner) {}
    void AudioCallback() override {
        mInner.AudioCallback();
        calls.fetch_add(1);
        usleep(300);
    }
    std::atomic<int> calls{0};

private:
    tAudioClient& mInner;
};
