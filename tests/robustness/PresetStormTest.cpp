// Built-in presets played hard: a storm of notes, controllers, pitch bend and all-notes-off.
// Every module's output stays bounded, and once the notes stop the effects die away.
#include "app/PresetTexts.h"
#include "app/Presets.h"
#include "core/Rack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int kBlocksPerSecond = 44100 / 128;

// A preset alone in a rack, switched on and prepared, in stereo.
struct tPresetRack {
    tRack rack;
    explicit tPresetRack(const char* name) {
        AddPreset(rack, FindPreset(name));
        rack.SetChannels(2);
        for (tSlot* slot : rack.Slots()) slot->SwitchOn();
        rack.PrepareAll();
    }
    // Renders one block; returns the largest magnitude in the mix and in the output of every
    // active module (infinity for a value that is not a number).
    double Block(int frames) {
        const double* mix = rack.Render(frames);
        double peak = Peak(mix, 2 * frames);
        for (tSlot* slot : rack.Slots())
            if (slot->IsActive()) peak = std::max(peak, Peak(slot->Output(), 2 * frames));
        return peak;
    }
    static double Peak(const double* x, int n) {
        double peak = 0.0;
        for (int i = 0; i < n; ++i)
            peak = std::isnan(x[i]) ? INFINITY : std::max(peak, std::fabs(x[i]));
        return peak;
    }
};

} // namespace

TEST(PresetStorm, BrightFluteStaysBoundedUnderControllersAndPitchBend) {
    // Keys 40..79, a new note every 40 blocks released 20 blocks later, controllers 1..26
    // cycling through their values, pitch bend sweeping and an all-notes-off every 500 blocks.
    for (int frames : {128, 16}) {
        tPresetRack preset("BrightFlute");
        int key = 40;
        double peak = 0.0;
        for (int block = 0; block < 4000; ++block) {
            if (block % 40 == 0) preset.rack.NoteOn(0, key, 100);
            if (block % 40 == 20) {
                preset.rack.NoteOff(0, key);
                key = key == 79 ? 40 : key + 1;
            }
            const int number = 1 + block % 26;
            preset.rack.Controller(0, number, (block * 7 + number * 13) % 128);
            preset.rack.Controller(0, -1, (block * 331) % 16384);
            if (block % 500 == 499) preset.rack.AllNotesOff();
            peak = std::max(peak, preset.Block(frames));
            ASSERT_LT(peak, 10.0) << "period " << frames << ", block " << block;
        }
        EXPECT_GT(peak, 0.01) << frames;
    }
}

TEST(PresetStorm, EveryPresetFallsSilentAfterANoteStorm) {
    // Loud notes all over the keyboard for 1.7 s, then all notes off: every module's output
    // stays within bounds, and ten seconds on the preset is silent.
    for (int p = 0; p < kPresetCount; ++p) {
        const char* name = PresetTable()[p].label;
        tPresetRack preset(name);
        double loud = 0.0;
        for (int block = 0; block < 17 * kBlocksPerSecond / 10; ++block) {
            if (block % 10 == 0) preset.rack.NoteOn(0, 28 + (block / 10 * 7) % 60, 127);
            loud = std::max(loud, preset.Block(128));
        }
        preset.rack.AllNotesOff();
        for (int block = 0; block < 19 * kBlocksPerSecond / 2; ++block)
            loud = std::max(loud, preset.Block(128));
        double tail = 0.0; // 9.5 to 10 s after all notes off
        for (int block = 0; block < kBlocksPerSecond / 2; ++block)
            tail = std::max(tail, preset.Block(128));
        EXPECT_LT(loud, 100.0) << name;
        EXPECT_LT(tail, 1e-3) << name;
    }
}
