// Audio switching on and off again and again while MIDI floods the rack and a block renders
// whenever audio is on: events go through the queue or straight to the modules, and every
// one of them arrives exactly once or is counted as dropped.

#include "core/Rack.h"
#include "core/TestModules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(RackEventFlowThreads, EventsArriveOnceWhetherQueuedOrDeliveredAtOnce) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tTestInstrument(0.25);
    module->SwitchOn();
    rack.Insert(module);
    const long eventsBefore = module->events;
    tTestModule::overlaps = 0;

    std::atomic<bool> stop{false};
    std::atomic<bool> audioOn{false};
    long posted = 0, blocks = 0;

    std::thread audio([&] {
        while (!stop.load()) {
            if (audioOn.load()) {
                rack.Render(128);
                ++blocks;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread midi([&] {
        for (int i = 0; !stop.load(); ++i) {
            if (i % 97 == 0)
                rack.AllNotesOff();
            else
                rack.NoteOn(0, i % 128, 1 + i % 127);
            ++posted;
            // Bursts larger than the queue, then a rest.
            if (i % 1500 == 1499) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        // "On": rendering first, then the blocks; "Off": no blocks, then not rendering.
        const bool on = round % 2 == 0;
        if (on) {
            rack.SetRendering(true);
            audioOn.store(true);
        } else {
            audioOn.store(false);
            rack.SetRendering(false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + round % 5));
    }
    stop.store(true);
    midi.join();
    audio.join();
    rack.SetRendering(false);
    rack.AllNotesOff(); // delivers whatever is still queued, then itself
    ++posted;

    EXPECT_GT(blocks, 50);
    EXPECT_GT(posted, 10000);
    EXPECT_EQ(tTestModule::overlaps.load(), 0);
    EXPECT_EQ(module->held, 0);
    EXPECT_EQ(module->events - eventsBefore, posted - static_cast<long>(rack.DroppedEvents()));
}
