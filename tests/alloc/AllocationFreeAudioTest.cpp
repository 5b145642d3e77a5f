// The audio path allocates nothing: every preset in one rack renders through the engine (rack
// and master stage) at periods 16 and 128, and at 48000 and 96000 Hz, while notes,
// controllers, pitch bend, pan and all-notes-off arrive as MIDI bytes at frames inside the
// blocks, and not one allocation function is called (the binary's allocation functions count
// their calls).
#include "CountingAllocator.h"

#include "catalog/Presets.h"
#include "core/Engine.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Sizes() {
    std::string text;
    for (int i = 0; i < alloc_count::kKept; ++i)
        text += std::to_string(alloc_count::KeptSizes()[i]) + " ";
    return text;
}

// Every preset, the n-th on MIDI channel n (1..15), switched on, controllers enabled.
void AddEveryPreset(tRack& rack) {
    for (int i = 0; i < kPresetCount; ++i) AddPreset(rack, i);
    tRack::tGuard guard(rack);
    int channel = 0;
    for (tSlot* slot : rack.Slots()) {
        if (auto* string = dynamic_cast<tStringModule*>(slot))
            string->Controls().top.midiController.Set(1.0);
        if (auto* flute = dynamic_cast<tFluteSynth*>(slot))
            flute->Controls().midiController.Set(1.0);
        if (slot->Type() == kEffectsModule || slot->Outputs().empty()) ++channel;
        slot->SwitchOn();
        slot->SetChannel(channel);
    }
}

// The MIDI messages for block b, at frames spread over the block: notes across the keyboard
// on every channel, a controller, pitch bend at its ends and sweeping, pan, and now and then
// all notes off.
void Events(std::vector<tEngineEvent>& events, long b, int period) {
    events.clear();
    auto send = [&](int status, int d1, int d2) {
        tEngineEvent event;
        event.frame = static_cast<int>((static_cast<long>(events.size()) * 37 + b) % period);
        event.size = 3;
        event.bytes[0] = static_cast<std::uint8_t>(status);
        event.bytes[1] = static_cast<std::uint8_t>(d1 & 0x7F);
        event.bytes[2] = static_cast<std::uint8_t>(d2 & 0x7F);
        events.push_back(event);
    };
    const int ch = static_cast<int>(b % 16);
    const int key = static_cast<int>((b * 7) % 128);
    if (b % 3 == 0) send(0x90 | ch, key, 1 + static_cast<int>(b % 127));
    if (b % 3 == 2) send(0x80 | ch, static_cast<int>(((b - 2) * 7) % 128), 0);
    send(0xB0 | ch, static_cast<int>(b % 120), static_cast<int>((b * 5) % 128));
    const int bend = b % 4 == 0 ? 0 : b % 4 == 1 ? 16383 : static_cast<int>((b * 517) % 16384);
    send(0xE0 | ch, bend & 0x7F, bend >> 7);
    if (b % 50 == 0) send(0xB0 | ch, 10, static_cast<int>(b % 128));
    if (b % 400 == 399) send(0xB0, 123, 0);
    std::sort(events.begin(), events.end(),
              [](const tEngineEvent& x, const tEngineEvent& y) { return x.frame < y.frame; });
}

} // namespace

// Kept where the optimiser cannot see, so that the deliberate allocations below happen.
void* volatile gKept = nullptr;

TEST(AllocationFreeAudio, TheCounterSeesEveryKindOfAllocation) {
    alloc_count::Start();
    gKept = ::operator new(sizeof(int)); // a call, not a new-expression: never left out
    ::operator delete(gKept);
    gKept = std::malloc(100);
    gKept = std::realloc(gKept, 200);
    std::free(gKept);
    std::string text(100, 'x'); // through operator new, in the C++ library
    gKept = text.data();
    const long calls = alloc_count::Stop();
    EXPECT_GE(calls, 6) << Sizes();
    EXPECT_EQ(alloc_count::KeptSizes()[0], sizeof(int));
}

TEST(AllocationFreeAudio, EveryPresetRendersThroughTheEngineWithoutAllocating) {
    struct tCase {
        int rate;
        int period;
        double seconds;
    };
    for (const tCase c : {tCase{44100, 16, 3.0}, tCase{44100, 128, 12.0}, tCase{48000, 128, 4.0},
                          tCase{96000, 128, 4.0}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, period " + std::to_string(c.period));
        tRack rack;
        tMasterControls controls;
        tMasterStage master(controls);
        tEngine engine(rack, master);
        ASSERT_TRUE(engine.Prepare(c.rate, 2));
        AddEveryPreset(rack);
        ASSERT_TRUE(engine.Prepare(c.rate, 2));
        rack.SetRendering(true); // audio on: events from other threads wait in the queue
        std::vector<tEngineEvent> events;
        events.reserve(16);
        std::vector<double> out(2 * static_cast<std::size_t>(c.period));

        const long blocks = static_cast<long>(c.seconds * c.rate) / c.period;
        double loudest = 0.0;
        alloc_count::Start();
        for (long b = 0; b < blocks; ++b) {
            Events(events, b, c.period);
            engine.Process(events.data(), static_cast<int>(events.size()), out.data(), c.period);
            for (const double x : out) loudest = std::max(loudest, std::fabs(x));
        }
        const long calls = alloc_count::Stop();
        std::printf("%d Hz, period %d: %ld blocks of %zu modules, %ld allocation calls\n", c.rate,
                    c.period, blocks, rack.Slots().size(), calls);
        EXPECT_EQ(calls, 0) << "sizes: " << Sizes();
        EXPECT_GT(loudest, 0.01); // the modules did play
        EXPECT_EQ(rack.DroppedEvents(), 0u);
        EXPECT_EQ(engine.DroppedEvents(), 0u);
    }
}
