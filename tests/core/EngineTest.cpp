#include "TestModules.h"

#include "core/Engine.h"
#include "core/MasterStage.h"
#include "core/Rack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace {

// An instrument whose sound depends only on when its notes arrive: each held key adds
// key / 1000 to every sample. It records the length of every block and, for every event,
// the frame (counted from its first block) at which it arrived.
class tClockedInstrument : public tTestInstrument {
public:
    tClockedInstrument() : tTestInstrument(0.0) { SwitchOn(); }
    void NoteOn(int key, int velocity) override {
        tTestInstrument::NoteOn(key, velocity);
        Budget().Take(noteCost);
        arrivals.push_back(frame);
        level += key / 1000.0;
    }
    void NoteOff(int key) override {
        tTestInstrument::NoteOff(key);
        arrivals.push_back(frame);
        level -= key / 1000.0;
    }
    void Controller(int channel, int number, int value) override {
        tTestInstrument::Controller(channel, number, value);
        arrivals.push_back(frame);
    }
    void Render(int frames) override {
        tTestInstrument::Render(frames); // fills the block with level
        blocks.push_back(frames);
        frame += frames;
    }
    long frame = 0;
    int noteCost = 0; // taken from the rack's budget by each note on
    std::vector<int> blocks;
    std::vector<long> arrivals;
};

tEngineEvent Message(int frame, std::initializer_list<int> bytes) {
    tEngineEvent event;
    event.frame = frame;
    for (const int byte : bytes) event.bytes[event.size++] = static_cast<std::uint8_t>(byte);
    return event;
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        rack.Insert(instrument);
        engine.Prepare(48000, 1);
        rack.SetRendering(true);
    }
    std::vector<double> Process(const std::vector<tEngineEvent>& events, int frames) {
        std::vector<double> out(static_cast<std::size_t>(frames));
        engine.Process(events.data(), static_cast<int>(events.size()), out.data(), frames);
        return out;
    }

    tRack rack;
    tEngine engine{rack}; // no master stage: the output is the rack's mix
    tClockedInstrument* instrument = new tClockedInstrument;
};

} // namespace

TEST_F(EngineTest, EventsTakeEffectAtTheirExactFrameAndBlocksAreSplitThere) {
    EXPECT_FALSE(engine.Prepare(8000, 1));
    EXPECT_EQ(engine.SampleRate(), 48000);
    EXPECT_EQ(rack.SampleRate(), 48000);
    instrument->blocks.clear();
    const std::vector<double> out =
        Process({Message(0, {0x90, 60, 100}), Message(100, {62, 100}), // running status
                 Message(100, {0x80, 60, 0}), Message(599, {0xB0, 7, 90}),
                 Message(700, {0x90, 64, 100})}, // past the call
                600);
    EXPECT_EQ(instrument->blocks, (std::vector<int>{100, 256, 243, 1}));
    EXPECT_EQ(instrument->arrivals, (std::vector<long>{0, 100, 100, 599}));
    EXPECT_DOUBLE_EQ(out[99], 0.060);
    EXPECT_DOUBLE_EQ(out[100], 0.062);
    // The late event and the running status carry into the next call.
    Process({Message(0, {64, 0})}, 10);
    EXPECT_EQ(instrument->arrivals, (std::vector<long>{0, 100, 100, 599, 600, 600}));
    EXPECT_EQ(instrument->held, 1);
}

TEST_F(EngineTest, TheSameEventsGiveTheSameOutputWhateverTheCallLengths) {
    // Notes at random frames over two seconds, rendered through the master stage in calls of
    // 128 frames, of 1, 17 and 4096 frames, and of random lengths.
    std::mt19937 random(7);
    std::vector<tEngineEvent> timeline;
    for (long frame = 0; frame < 96000; frame += 1 + static_cast<long>(random() % 3000)) {
        const int key = 40 + static_cast<int>(random() % 40);
        timeline.push_back(Message(static_cast<int>(frame), {0x90, key, 100}));
        timeline.push_back(Message(static_cast<int>(frame + random() % 2000), {0x80, key, 0}));
    }
    std::stable_sort(
        timeline.begin(), timeline.end(),
        [](const tEngineEvent& a, const tEngineEvent& b) { return a.frame < b.frame; });

    auto render = [&](const std::function<int()>& nextLength) {
        tRack own;
        tMasterControls controls;
        tMasterStage master(controls);
        tEngine engineWithMaster(own, master);
        own.Insert(new tClockedInstrument);
        engineWithMaster.Prepare(48000, 1);
        std::vector<double> out(96000);
        std::size_t next = 0;
        for (int done = 0; done < 96000;) {
            const int frames = std::min(nextLength(), 96000 - done);
            std::vector<tEngineEvent> due;
            for (; next < timeline.size() && timeline[next].frame < done + frames; ++next) {
                due.push_back(timeline[next]);
                due.back().frame -= done;
            }
            engineWithMaster.Process(due.data(), static_cast<int>(due.size()), out.data() + done,
                                     frames);
            done += frames;
        }
        return out;
    };
    const std::vector<double> reference = render([] { return 128; });
    EXPECT_GT(*std::max_element(reference.begin(), reference.end()), 0.01);
    for (const int length : {1, 17, 4096})
        EXPECT_EQ(render([&] { return length; }), reference) << length;
    EXPECT_EQ(render([&] { return 1 + static_cast<int>(random() % 700); }), reference);
}

TEST_F(EngineTest, EventsWaitWhileTheRackIsBusyAndAnAllNotesOffIsNeverLost) {
    std::atomic<bool> held{false}, release{false};
    std::thread owner([&] {
        tRack::tGuard guard(rack);
        held = true;
        while (!release) std::this_thread::yield();
    });
    while (!held) std::this_thread::yield();
    std::vector<tEngineEvent> events{Message(0, {0x90, 60, 100})};
    for (int i = 0; i < 1100; ++i) events.push_back(Message(5, {0xB0, 1, i & 0x7F}));
    events.push_back(Message(9, {0xB0, 123, 0}));
    const std::vector<double> busy = Process(events, 64);
    EXPECT_EQ(busy, std::vector<double>(64, 0.0)); // silence, nothing delivered
    EXPECT_EQ(engine.DroppedEvents(), 1101u);      // the all-notes-off took the list's place
    release = true;
    owner.join();
    const long before = instrument->frame;
    Process({}, 16);
    EXPECT_EQ(instrument->arrivals.size(), 0u);
    EXPECT_EQ(instrument->allNotesOffs, 3); // inserting, preparing, then the one that waited
    EXPECT_EQ(instrument->frame, before + 16);
}

// Note-ons beyond what a piece's budget covers (three here: a quarter of it is kept for the
// notes' preparation) wait for the next pieces, and the note-off after them waits with them.
TEST_F(EngineTest, EventsTheBudgetHoldsBackArriveInOrderInLaterPieces) {
    instrument->noteCost = rack.Budget().UnitsPerFrame() * 64 / 4;
    std::vector<tEngineEvent> events;
    for (int k = 0; k < 12; ++k) events.push_back(Message(0, {0x90, 40 + k, 100}));
    events.push_back(Message(0, {0x80, 40, 0}));
    Process(events, 64);
    for (int block = 0; block < 5; ++block) Process({}, 64);
    const std::vector<long> expected{0, 0, 0, 64, 64, 64, 128, 128, 128, 192, 192, 192, 256};
    EXPECT_EQ(instrument->arrivals, expected);
    EXPECT_EQ(engine.DroppedEvents(), 0u);
}
