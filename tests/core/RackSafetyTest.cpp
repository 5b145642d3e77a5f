// What the rack does when a module or the event flow misbehaves: a block that is not finite
// never reaches the mix, and events neither pile up while nothing renders nor lose an
// all-notes-off when the queue is full.

#include "core/Rack.h"
#include "core/TestModules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr int kFrames = 64;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Plays its level, except that it plays bad (NaN or inf) for the next badBlocks blocks.
// Reset counts the resets and clears what would keep it bad.
class tFaultyInstrument : public tTestInstrument {
public:
    explicit tFaultyInstrument(double level) : tTestInstrument(level) { SwitchOn(); }
    void Render(int frames) override {
        tTestInstrument::Render(frames);
        if (badBlocks > 0) {
            --badBlocks;
            buffer[frames] = bad; // one value in the second half of a stereo block
        }
    }
    void Reset() override {
        ++resets;
        tTestInstrument::Reset();
    }
    int badBlocks = 0;
    double bad = kNaN;
    int resets = 0;
};

bool AllEqual(const double* mix, int n, double expected) {
    for (int i = 0; i < n; ++i)
        if (mix[i] != expected) return false;
    return true;
}

class RackSafety : public ::testing::Test {
protected:
    void SetUp() override { rack.SetChannels(2); }
    tRack rack;
};

} // namespace

TEST_F(RackSafety, NonFiniteBlocksAreSilencedResetAndCountedWhereverTheyArise) {
    auto* faulty = new tFaultyInstrument(0.5);
    auto* healthy = new tTestInstrument(0.25);
    healthy->SwitchOn();
    auto* chained = new tFaultyInstrument(0.125);
    auto* effect = new tTestEffect(2.0);
    effect->SwitchOn();
    for (tSlot* slot : std::initializer_list<tSlot*>{faulty, healthy, chained, effect})
        rack.Insert(slot);
    rack.Connect(chained, effect);
    const int n = 2 * kFrames;
    ASSERT_TRUE(AllEqual(rack.Render(kFrames), n, 0.5 + 0.25 + 0.25));

    // A NaN from a mixed instrument: only that instrument falls silent, and only this block.
    faulty->badBlocks = 1;
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 0.25 + 0.25));
    EXPECT_EQ(faulty->resets, 1);
    EXPECT_EQ(faulty->SilencedBlocks(), 1u);
    EXPECT_EQ(rack.SilencedBlocks(), 1u);
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 1.0));

    // An infinity from an instrument that feeds an effects unit never reaches the unit.
    chained->badBlocks = 2;
    chained->bad = -kInf;
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 0.75));
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 0.75));
    EXPECT_EQ(chained->resets, 2);
    EXPECT_EQ(effect->SilencedBlocks(), 0u);
    EXPECT_EQ(rack.SilencedBlocks(), 3u);

    // An effects unit whose own processing turns non-finite is silenced in turn.
    effect->gain = kInf;
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 0.75));
    EXPECT_EQ(effect->SilencedBlocks(), 1u);
    EXPECT_EQ(effect->prepares, 2); // inserted, then reset
    effect->gain = 2.0;

    // Finite outputs whose sum leaves the range of a double: the block is silence.
    faulty->level = 1.7e308;
    healthy->level = 1.7e308;
    EXPECT_TRUE(AllEqual(rack.Render(kFrames), n, 0.0));
    EXPECT_EQ(rack.SilencedBlocks(), 5u);
}

TEST_F(RackSafety, WhileNothingRendersEventsAreDeliveredAtOnceAndNeverDropped) {
    auto* module = new tTestInstrument(0.25);
    module->SwitchOn();
    rack.Insert(module);
    ASSERT_FALSE(rack.IsRendering());

    // More events than the queue holds, with audio off: all delivered, none dropped.
    for (int i = 0; i < 2000; ++i) rack.NoteOn(0, i % 128, 100);
    rack.AllNotesOff();
    EXPECT_EQ(module->noteOns, 2000);
    EXPECT_EQ(module->held, 0);
    EXPECT_EQ(rack.DroppedEvents(), 0u);

    // An event sent by the thread that holds the rack is delivered without waiting for it.
    {
        tRack::tGuard guard(rack);
        rack.NoteOn(0, 60, 90);
        EXPECT_EQ(module->lastVelocity, 90);
    }

    // Events queued for a block that does not come are delivered when rendering stops.
    rack.SetRendering(true);
    rack.NoteOn(0, 61, 80);
    EXPECT_EQ(module->lastKey, 60);
    rack.SetRendering(false);
    EXPECT_EQ(module->lastKey, 61);
}

TEST_F(RackSafety, AllNotesOffIsNeverLostWhenTheQueueIsFull) {
    auto* module = new tTestInstrument(0.25);
    module->SwitchOn();
    rack.Insert(module);
    rack.SetRendering(true); // audio on, but no block comes (the device stalls)
    const int offsBefore = module->allNotesOffs;

    constexpr int kNotes = 1100;
    for (int i = 0; i < kNotes; ++i) rack.NoteOn(0, i % 128, 100);
    // Overflow while playing is counted.
    EXPECT_EQ(rack.DroppedEvents(), kNotes - tEventQueue::kCapacity);
    rack.AllNotesOff();

    // At the next block the notes queued before the all-notes-off are discarded (and
    // counted), then it takes effect; nothing hangs.
    rack.Render(kFrames);
    EXPECT_EQ(module->noteOns, 0);
    EXPECT_EQ(module->held, 0);
    EXPECT_EQ(module->allNotesOffs, offsBefore + 1);
    EXPECT_EQ(rack.DroppedEvents(), static_cast<unsigned>(kNotes));

    // The queue works on as before.
    rack.NoteOn(0, 64, 100);
    rack.Render(kFrames);
    EXPECT_EQ(module->noteOns, 1);
    EXPECT_EQ(module->lastKey, 64);
}
