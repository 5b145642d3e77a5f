// The whole audio path at once: the real audio thread renders into a discarding device, a
// MIDI thread plays, and the owning thread switches audio on and off, changes the channel
// count and edits the rack, while the overload guard, set to a hair trigger, switches audio
// off from the audio thread now and then.

#include "platform/AlsaTestDevices.h"
#include "platform/AudioTestSupport.h"

#include "core/Config.h"
#include "core/Rack.h"
#include "core/TestModules.h"
#include "platform/AudioCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {
constexpr auto kRunTime = std::chrono::milliseconds(1500);
}

TEST(AudioThreads, SwitchingAudioPlayingAndTheOverloadGuardNeverMeet) {
    tConfig config;
    config.SetAudioDevice(alsatest::kNullDevice);
    config.SetPeriod(64);
    config.SetFragments(2);
    tAudio audio(config);
    tRack rack;
    tMasterControls controls;
    tMasterStage stage(controls);
    stage.SetOverloadGuard(0.0, 0.01); // any work at all over 10 ms of sound
    tRenderCallback callback(rack, audio, stage, controls);
    tPacedClient paced(callback);
    audio.SetCallback(&paced);
    tTestModule::overlaps = 0;

    auto* permanent = new tTestInstrument(0.125);
    permanent->SwitchOn();
    rack.Insert(permanent);

    std::atomic<bool> stop{false};
    std::thread midi([&] {
        int key = 0;
        while (!stop.load()) {
            rack.NoteOn(0, 40 + key, 100);
            rack.Controller(0, 7, key);
            rack.NoteOff(0, 40 + key);
            key = (key + 1) % 40;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    // The owning thread.
    int starts = 0, stops = 0, foundOff = 0;
    bool expectOn = false;
    std::vector<tTestModule*> mine;
    const auto end = std::chrono::steady_clock::now() + kRunTime;
    for (int step = 0; std::chrono::steady_clock::now() < end; ++step) {
        if (!callback.IsOn()) {
            if (expectOn) ++foundOff; // switched off by the guard
            if (callback.Start()) ++starts;
            expectOn = callback.IsOn();
        } else if (step % 7 == 0) {
            callback.Stop();
            ++stops;
            expectOn = false;
        } else if (step % 5 == 0) {
            callback.SetChannels(callback.Channels() == 1 ? 2 : 1);
            expectOn = callback.IsOn();
        } else if (step % 3 == 0 && mine.size() < 6) {
            auto* effect = new tTestEffect(0.5);
            effect->SwitchOn();
            rack.Insert(effect);
            rack.Connect(permanent, effect);
            mine.push_back(effect);
        } else if (step % 3 == 1 && !mine.empty()) {
            rack.Delete(mine.back());
            mine.pop_back();
        } else {
            controls.volume.Set(step % 400 / 100.0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    callback.Stop();
    stop.store(true);
    midi.join();

    const int calls = paced.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(paced.calls.load(), calls); // stopped means stopped
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_GT(calls, 50);
    EXPECT_GT(starts, 5);
    EXPECT_GT(stops, 0);
    EXPECT_GT(foundOff, 0);
    EXPECT_EQ(tTestModule::overlaps.load(), 0);
    audio.SetCallback(nullptr);
}
