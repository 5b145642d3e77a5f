#include "core/Rack.h"
#include "core/TestModules.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr int kFrames = 128;

// Every value of the block equals expected.
::testing::AssertionResult BlockIs(const double* mix, int n, double expected) {
    for (int i = 0; i < n; ++i) {
        if (mix[i] != expected)
            return ::testing::AssertionFailure()
                   << "value " << i << " is " << mix[i] << ", expected " << expected;
    }
    return ::testing::AssertionSuccess();
}

template <class tModule> tModule* On(tModule* module) {
    module->SwitchOn();
    return module;
}

class RackTest : public ::testing::Test {
protected:
    // A rack whose blocks are being rendered (audio on): events wait for the next block.
    void SetUp() override {
        rack.SetChannels(2);
        rack.SetRendering(true);
    }
    tRack rack;
};

} // namespace

// --- mixing and pulling ------------------------------------------------------------------

TEST_F(RackTest, EmptyRackIsSilentAlsoAfterItsLastModuleGoes) {
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.0));
    auto* a = On(new tTestInstrument(0.25));
    auto* off = new tTestInstrument(0.5);
    rack.Insert(a);
    rack.Insert(off);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.25));
    rack.Delete(a);
    rack.Delete(off);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.0));
}

TEST_F(RackTest, InsertPreparesForTheRacksChannelCount) {
    auto* a = new tTestInstrument(0.25);
    rack.Insert(a);
    EXPECT_EQ(a->channels, 2);
    EXPECT_EQ(a->prepares, 1);
    EXPECT_EQ(a->allNotesOffs, 1);
    rack.SetChannels(1);
    rack.PrepareAll();
    EXPECT_EQ(a->channels, 1);
    EXPECT_EQ(a->prepares, 2);
}

TEST_F(RackTest, InstrumentIntoEffectsUnitIsHeardOnlyThroughIt) {
    auto* a = On(new tTestInstrument(0.25));
    auto* e = On(new tTestEffect(2.0));
    rack.Insert(a);
    rack.Insert(e);
    // Not yet connected: a is mixed directly, e is fed by nothing.
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.25));
    rack.Connect(a, e);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.5));
    EXPECT_EQ(e->Inputs().size(), 1u);
    EXPECT_EQ(a->Outputs().size(), 1u);
}

TEST_F(RackTest, EffectsUnitSumsTwoInstrumentsBeforeProcessing) {
    auto* a = On(new tTestInstrument(0.25));
    auto* b = On(new tTestInstrument(0.5));
    auto* e = On(new tTestEffect(2.0));
    rack.Insert(a);
    rack.Insert(b);
    rack.Insert(e);
    rack.Connect(a, e);
    rack.Connect(b, e);
    const int before = e->renders;
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 1.5));
    EXPECT_EQ(e->renders, before + 1);
}

TEST_F(RackTest, UnitFeedingTwoTargetsIsComputedOncePerBlock) {
    auto* a = On(new tTestInstrument(0.25));
    auto* e1 = On(new tTestEffect(2.0));
    auto* e2 = On(new tTestEffect(3.0));
    auto* e3 = On(new tTestEffect(5.0));
    rack.Insert(a);
    rack.Insert(e1);
    rack.Insert(e2);
    rack.Insert(e3);
    rack.Connect(a, e1);
    rack.Connect(e1, e2);
    rack.Connect(e1, e3);
    const int before = e1->renders;
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.5 * 3.0 + 0.5 * 5.0));
    EXPECT_EQ(e1->renders, before + 1);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 4.0));
    EXPECT_EQ(e1->renders, before + 2);
}

TEST_F(RackTest, SubnormalResultsInsideABlockAreFlushedToZero) {
#if defined(__SSE2__)
    auto* quiet = On(new tTestInstrument(1e-300));
    auto* scale = On(new tTestEffect(1e-10));
    rack.Insert(scale);
    rack.Connect(quiet, scale);
    rack.Insert(quiet);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.0));
    // Outside the block the processor computes subnormal numbers again.
    volatile double tiny = 1e-300;
    EXPECT_GT(tiny * 1e-10, 0.0);
#else
    GTEST_SKIP() << "no SSE control register";
#endif
}

TEST_F(RackTest, UnitWithoutInputsContributesSilenceAndIsNotProcessed) {
    auto* e = On(new tTestEffect(2.0));
    rack.Insert(e);
    std::fill(e->buffer, e->buffer + tTestModule::kBufferSize, 7.0);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.0));
    EXPECT_EQ(e->renders, 0);
}

// --- connections ----------------------------------------------------------------------------

TEST_F(RackTest, ConnectionThatWouldCloseACycleIsRefused) {
    auto* e1 = On(new tTestEffect(2.0));
    auto* e2 = On(new tTestEffect(3.0));
    auto* e3 = On(new tTestEffect(5.0));
    rack.Insert(e1);
    rack.Insert(e2);
    rack.Insert(e3);
    rack.Connect(e1, e2);
    rack.Connect(e2, e3);
    rack.Connect(e2, e1); // direct cycle
    rack.Connect(e3, e1); // cycle through e2
    rack.Connect(e1, e1); // itself
    EXPECT_TRUE(e1->Inputs().empty());
    EXPECT_EQ(e1->Outputs(), std::vector<tSlot*>{e2});
    EXPECT_EQ(e3->Outputs(), std::vector<tSlot*>{});
}

TEST_F(RackTest, ConnectingTwiceDisconnectsAndInstrumentsAcceptNoInput) {
    auto* a = On(new tTestInstrument(0.25));
    auto* b = On(new tTestInstrument(0.5));
    auto* e = On(new tTestEffect(2.0));
    rack.Insert(a);
    rack.Insert(b);
    rack.Insert(e);
    rack.Connect(a, e);
    rack.Connect(a, e);
    EXPECT_TRUE(a->Outputs().empty());
    EXPECT_TRUE(e->Inputs().empty());
    rack.Connect(e, a); // a string synthesizer takes no input
    EXPECT_TRUE(e->Outputs().empty());
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.75));
}

TEST_F(RackTest, DeletingTheMiddleOfAChainLeavesBothSidesUnconnected) {
    auto* a = On(new tTestInstrument(0.25));
    auto* e1 = On(new tTestEffect(2.0));
    auto* e2 = On(new tTestEffect(3.0));
    rack.Insert(a);
    rack.Insert(e1);
    rack.Insert(e2);
    rack.Connect(a, e1);
    rack.Connect(e1, e2);
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 1.5));
    rack.Delete(e1);
    EXPECT_TRUE(a->Outputs().empty());
    EXPECT_TRUE(e2->Inputs().empty());
    EXPECT_EQ(rack.Slots().size(), 2u);
    // a is a sink again; e2 is fed by nothing.
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.25));
}

TEST_F(RackTest, ClearEmptiesTheRackAndRestartsTheIds) {
    rack.Insert(new tTestInstrument(0.25));
    rack.Insert(new tTestEffect(2.0));
    rack.Clear();
    EXPECT_TRUE(rack.Slots().empty());
    tTestInstrument* next = new tTestInstrument(0.25);
    EXPECT_EQ(next->Id(), 1);
    EXPECT_EQ(next->Caption(), "<1>");
    rack.Insert(next);
}

// --- MIDI fan-out -------------------------------------------------------------------------

TEST_F(RackTest, NotesAndPanReachTheirChannelControllersReachEveryone) {
    auto* on1 = new tTestInstrument(0.25);
    auto* on3 = new tTestInstrument(0.25);
    auto* fx3 = new tTestEffect(1.0);
    on3->SetChannel(3);
    fx3->SetChannel(3);
    rack.Insert(on1);
    rack.Insert(on3);
    rack.Insert(fx3);

    rack.NoteOn(2, 60, 100);
    rack.NoteOff(2, 61);
    rack.SetPan(2, 20);
    rack.Controller(0, 7, 99);
    rack.Controller(5, -1, 16383);
    // Queued: nothing reaches a module before the next block.
    EXPECT_EQ(on3->noteOns, 0);
    rack.Render(kFrames);

    EXPECT_EQ(on1->noteOns + on1->noteOffs + on1->pans, 0);
    for (tTestModule* module : {static_cast<tTestModule*>(on3), static_cast<tTestModule*>(fx3)}) {
        EXPECT_EQ(module->noteOns, 1);
        EXPECT_EQ(module->lastVelocity, 100);
        EXPECT_EQ(module->noteOffs, 1);
        EXPECT_EQ(module->lastKey, 61);
        EXPECT_EQ(module->lastPan, 20);
    }
    for (tTestModule* module : {static_cast<tTestModule*>(on1), static_cast<tTestModule*>(on3),
                                static_cast<tTestModule*>(fx3)}) {
        EXPECT_EQ(module->controllers, 2);
        EXPECT_EQ(module->lastController, -1);
        EXPECT_EQ(module->lastControllerValue, 16383);
    }
}

TEST_F(RackTest, AllNotesOffReachesEverySlotInOrderWithTheNotes) {
    auto* a = new tTestInstrument(0.25);
    auto* b = new tTestInstrument(0.25);
    b->SetChannel(16);
    rack.Insert(a);
    rack.Insert(b);
    rack.NoteOn(0, 60, 100);
    rack.NoteOn(0, 62, 100);
    rack.AllNotesOff();
    rack.NoteOn(0, 64, 100);
    {
        tRack::tGuard guard(rack); // delivers what is queued, in order
        EXPECT_EQ(a->held, 1);
        EXPECT_EQ(a->allNotesOffs, 2); // one from Insert
        EXPECT_EQ(b->allNotesOffs, 2);
        EXPECT_EQ(b->noteOns, 0);
    }
}

TEST_F(RackTest, BlockRenderedWhileTheStructureChangesIsSilenceWithoutEvents) {
    auto* a = On(new tTestInstrument(0.25));
    rack.Insert(a);
    rack.NoteOn(0, 60, 100);
    {
        tRack::tGuard guard(rack);
        rack.NoteOn(0, 62, 100);
        std::thread renderer([&] { EXPECT_TRUE(BlockIs(rack.Render(kFrames), 1024, 0.0)); });
        renderer.join();
        EXPECT_EQ(a->noteOns, 1); // the guard delivered the first, the block nothing
    }
    EXPECT_TRUE(BlockIs(rack.Render(kFrames), 2 * kFrames, 0.25));
    EXPECT_EQ(a->noteOns, 2);
}
