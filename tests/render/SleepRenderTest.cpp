// Sleeping modules must not be heard: every preset, instrument and effects unit together,
// plays a phrase whose silences let its voices, its instrument and its effects unit fall
// asleep and whose next note and controller wake them, once with sleeping allowed and once
// without; the two 16-bit renders differ by at most one step where the mix crosses a rounding
// step.
#include "catalog/Presets.h"
#include "catalog/Sleeping.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "effects/EffectsModule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct tPhraseRender {
    std::vector<std::int16_t> samples;
    long sleptBlocks = 0; // the effects unit's
};

// A chord held 1 s, 5 s of silence, a controller and a note of 0.5 s, 3 s of tail; stereo,
// 128-frame blocks at 44100 Hz.
tPhraseRender RenderPhrase(int preset) {
    tRack rack;
    const tRandomScope noise(rack.Random());
    rack.SetChannels(2);
    AddPreset(rack, preset);
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots()) slot->SwitchOn();
    }
    rack.SetRendering(true);
    struct tStep {
        double at;
        int kind; // 0 note on, 1 note off, 2 controller 7
        int key;
    };
    const tStep steps[] = {{0.0, 0, 48}, {0.0, 0, 55}, {0.0, 0, 64}, {1.0, 1, 48}, {1.0, 1, 55},
                           {1.0, 1, 64}, {6.0, 2, 90}, {6.0, 0, 57}, {6.5, 1, 57}};
    const long total = 44100L * 19 / 2;
    tPhraseRender result;
    result.samples.reserve(static_cast<std::size_t>(2 * total));
    std::size_t next = 0;
    std::int16_t block[256];
    for (long done = 0; done < total; done += 128) {
        for (; next < std::size(steps) && steps[next].at * 44100 < done + 128; ++next) {
            const tStep& step = steps[next];
            if (step.kind == 0) rack.NoteOn(0, step.key, 100);
            if (step.kind == 1) rack.NoteOff(0, step.key);
            if (step.kind == 2) rack.Controller(0, 7, step.key);
        }
        tMasterStage::ToSamples(rack.Render(128), 256, block);
        result.samples.insert(result.samples.end(), block, block + 256);
    }
    for (tSlot* slot : rack.Slots())
        if (auto* effects = dynamic_cast<tEffectsModule*>(slot))
            result.sleptBlocks += effects->Engine().SleptBlocks();
    return result;
}

} // namespace

TEST(SleepRender, EveryPresetSoundsTheSameWithModulesAsleepWithinOneStep) {
    long slept = 0;
    for (int preset = 0; preset < kPresetCount; ++preset) {
        SCOPED_TRACE("preset " + std::to_string(preset));
        AllowSleeping(false);
        const tPhraseRender awake = RenderPhrase(preset);
        AllowSleeping(true);
        const tPhraseRender sleeping = RenderPhrase(preset);
        EXPECT_EQ(awake.sleptBlocks, 0);
        slept += sleeping.sleptBlocks;
        ASSERT_EQ(awake.samples.size(), sleeping.samples.size());
        int worst = 0;
        long differing = 0;
        for (std::size_t i = 0; i < awake.samples.size(); ++i) {
            const int d = std::abs(awake.samples[i] - sleeping.samples[i]);
            worst = std::max(worst, d);
            differing += d != 0;
        }
        EXPECT_LE(worst, 1);
        // One step only where a value lies on a rounding edge: a handful of samples.
        EXPECT_LT(differing, 100);
    }
    AllowSleeping(true);
    // The silences are long enough for the units to sleep through most of them.
    EXPECT_GT(slept, kPresetCount * 100);
}
