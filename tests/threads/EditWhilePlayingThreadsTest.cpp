// Editing a playing rack never punches a hole in the sound. A clarinet preset holds a chord
// while the owning thread loads patches into the playing modules and into a second
// instrument, switches that instrument on and off and moves its channel, all as the windows
// do it (under the rack's guard), 10,000 times; a thread paced like a sound card renders
// every period through the engine. No block after the chord has begun may be all zeros.
//
// The engine hands the rack over for a call and a half at a time; an owner taken off the
// processor for longer in the middle of an edit would still cost a block. Where the machine
// allows it, both threads get realtime priority, as the program's audio thread has, so that
// other programs on a busy machine do not hold the editing thread off in this test. A virtual
// machine's processor can still be taken away from the editing thread while it holds the rack:
// each silent block must fall to an edit that held the rack for longer than a period, at most
// one for each period it held it, and such edits must be rare.
#include "catalog/ModuleFactory.h"
#include "catalog/Presets.h"
#include "core/Engine.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "platform/Realtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace {

constexpr int kPeriod = 128;
constexpr int kEdits = 10000;

std::string PatchOf(tSlot& slot) {
    std::ostringstream text;
    slot.WritePatch(text);
    return text.str();
}

} // namespace

TEST(EditWhilePlaying, TenThousandEditsLeaveNoBlockOfSilence) {
    tRack rack;
    tMasterControls controls;
    tMasterStage master(controls);
    tEngine engine(rack, master);
    engine.Prepare(44100, 2);
    AddPreset(rack, FindPreset("Clarinet"));
    tSlot* effects = rack.Slots()[0];
    tSlot* flute = rack.Slots()[1];
    tSlot* other = CreateModule(kStringModule, 190, 50).release();
    rack.Insert(other);
    {
        tRack::tGuard guard(rack);
        effects->SwitchOn();
        flute->SwitchOn();
        other->SetChannel(2);
    }
    const std::string fluteText = PatchOf(*flute);
    const std::string effectsText = PatchOf(*effects);
    const std::string stringText = PatchOf(*other);
    rack.SetRendering(true);

    const auto period = std::chrono::microseconds(1000000LL * kPeriod / 44100);
    long longEdits = 0;   // edits that held the rack for longer than a period
    long heldPeriods = 0; // the periods, begun, they held it for
    auto Edit = [&](int n) {
        const tRack::tGuard guard(rack);
        struct tHold {
            std::chrono::steady_clock::time_point from = std::chrono::steady_clock::now();
            std::chrono::microseconds period;
            long& edits;
            long& periods;
            ~tHold() {
                const auto held = std::chrono::steady_clock::now() - from;
                if (held <= period) return;
                ++edits;
                periods += 1 + held / period;
            }
        } hold{.period = period, .edits = longEdits, .periods = heldPeriods};
        switch (n % 5) {
        case 0:
            flute->ApplyPatchText("clarinet.flt", fluteText);
            break;
        case 1:
            effects->ApplyPatchText("clarinet.efx", effectsText);
            break;
        case 2:
            other->ApplyPatchText("string.pst", stringText);
            break;
        case 3:
            if (other->IsOn())
                other->SwitchOff();
            else
                other->SwitchOn();
            break;
        default:
            other->SetChannel(2 + n % 3);
            break;
        }
    };

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, silentBlocks{0};
    std::thread card([&] {
        realtime::UseFifoScheduling(realtime::kPriority);
        tEngineEvent chord[3];
        for (int i = 0; i < 3; ++i) {
            chord[i].size = 3;
            chord[i].bytes[0] = 0x90;
            chord[i].bytes[1] = static_cast<std::uint8_t>(57 + 4 * i);
            chord[i].bytes[2] = 100;
        }
        double out[2 * kPeriod];
        engine.Process(chord, 3, out, kPeriod);
        auto next = std::chrono::steady_clock::now();
        for (long block = 1; !stop.load(); ++block) {
            // A card with two periods of buffer: after a delay the next write waits again
            // within a period.
            next = std::max(next + period, std::chrono::steady_clock::now() - period);
            std::this_thread::sleep_until(next);
            engine.Process(nullptr, 0, out, kPeriod);
            bool silent = true;
            for (const double x : out) silent = silent && x == 0.0;
            if (block > 50 && silent) ++silentBlocks;
            ++blocks;
        }
    });

    std::thread owner([&] {
        realtime::UseFifoScheduling(realtime::kPriority - 10);
        for (int n = 0; n < kEdits; ++n) {
            Edit(n);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    owner.join();
    stop.store(true);
    card.join();
    std::printf("%ld blocks rendered during %d edits, %ld of them all zeros; %ld edits held the "
                "rack for longer than a period\n",
                blocks.load(), kEdits, silentBlocks.load(), longEdits);
    EXPECT_GT(blocks.load(), 200);
    EXPECT_LE(silentBlocks.load(), heldPeriods);
    EXPECT_LE(longEdits, kEdits / 100);
}
