// One thread renders blocks through the master stage, one delivers MIDI events, one changes
// the rack's structure and the controls, all at once. The sanitizers watch the memory; the
// test modules watch that no two threads are ever inside one module; the blocks must be
// whole (every value of a block the same, as every test module plays a constant).

#include "core/Engine.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "core/TestModules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr auto kRunTime = std::chrono::milliseconds(1500);

// A small deterministic generator so that every run exercises the same kinds of change.
class tSequence {
public:
    explicit tSequence(unsigned seed) : mState(seed) {}
    int Next(int range) {
        mState = mState * 1664525u + 1013904223u;
        return static_cast<int>((mState >> 8) % static_cast<unsigned>(range));
    }

private:
    unsigned mState;
};

} // namespace

TEST(RackThreads, RenderingMidiAndStructureChangesNeverMeet) {
    tRack rack;
    rack.SetChannels(2);
    rack.SetRendering(true); // audio on: events go through the queue
    tMasterControls controls;
    tMasterStage stage(controls);
    tEngine engine(rack); // the rack's mix as it is, to see torn blocks
    engine.Prepare(44100, 2);

    // Stays for the whole run on channel index 0, so it receives every event delivered.
    auto* permanent = new tTestInstrument(0.125);
    permanent->SwitchOn();
    rack.Insert(permanent);
    const long eventsBefore = permanent->events;
    tTestModule::overlaps = 0;

    std::atomic<bool> stop{false};
    long blocks = 0, tornBlocks = 0, soundingBlocks = 0;
    long posted = 0;
    long changes = 0;

    std::thread renderer([&] {
        double mix[2 * kFrames];
        double scaled[2 * kFrames];
        while (!stop.load()) {
            engine.Process(nullptr, 0, mix, kFrames);
            stage.Process(mix, kFrames, 2, scaled); // while the owner moves its controls
            // Mono blocks hold 128 values, stereo 256: the first 128 are always there.
            for (int i = 1; i < kFrames; ++i) {
                if (mix[i] != mix[0] || std::isnan(mix[i])) {
                    ++tornBlocks;
                    break;
                }
            }
            if (mix[0] != 0.0) ++soundingBlocks;
            ++blocks;
        }
    });

    std::thread midi([&] {
        tSequence next(7);
        while (!stop.load()) {
            const int key = 36 + next.Next(48);
            switch (next.Next(6)) {
            case 0:
            case 1:
                rack.NoteOn(0, key, 1 + next.Next(127));
                break;
            case 2:
                rack.NoteOff(0, key);
                break;
            case 3:
                rack.Controller(0, next.Next(2) ? 7 : -1, next.Next(16384));
                break;
            case 4:
                rack.SetPan(0, next.Next(128));
                break;
            default:
                if (next.Next(20) == 0)
                    rack.AllNotesOff();
                else
                    rack.NoteOn(0, key, 0);
                break;
            }
            ++posted;
            if (posted % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });

    std::thread owner([&] {
        tSequence next(11);
        std::vector<tTestModule*> mine;
        while (!stop.load()) {
            const int choice = next.Next(10);
            if ((choice <= 2 && mine.size() < 12) || mine.empty()) {
                tTestModule* module;
                if (next.Next(2))
                    module = new tTestInstrument(0.25);
                else
                    module = new tTestEffect(0.5);
                module->SetChannel(1 + next.Next(2));
                if (next.Next(2)) module->SwitchOn();
                rack.Insert(module);
                mine.push_back(module);
            } else if (choice <= 4) {
                tTestModule* a = mine[next.Next(static_cast<int>(mine.size()))];
                tTestModule* b = mine[next.Next(static_cast<int>(mine.size()))];
                rack.Connect(next.Next(4) == 0 ? permanent : a, b);
            } else if (choice == 5) {
                const auto at = mine.begin() + next.Next(static_cast<int>(mine.size()));
                rack.Delete(*at);
                mine.erase(at);
            } else if (choice == 6) {
                tRack::tGuard guard(rack);
                tTestModule* module = mine[next.Next(static_cast<int>(mine.size()))];
                if (module->IsOn())
                    module->SwitchOff();
                else
                    module->SwitchOn();
                module->SetChannel(1 + next.Next(2));
            } else if (choice == 7) {
                rack.SetChannels(1 + next.Next(2));
                rack.PrepareAll();
            } else {
                controls.volume.Set(next.Next(400) / 100.0);
                controls.limiter.Set(next.Next(2));
            }
            ++changes;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });

    std::this_thread::sleep_for(kRunTime);
    stop.store(true);
    renderer.join();
    midi.join();
    owner.join();
    rack.Render(kFrames); // delivers what is still queued

    EXPECT_GT(blocks, 100);
    EXPECT_GT(soundingBlocks, 0);
    EXPECT_GT(posted, 100);
    EXPECT_GT(changes, 100);
    EXPECT_EQ(tornBlocks, 0);
    EXPECT_EQ(tTestModule::overlaps.load(), 0);
    // Every event was delivered exactly once, or counted as dropped when the queue was full.
    EXPECT_EQ(permanent->events - eventsBefore, posted - static_cast<long>(rack.DroppedEvents()));
}
