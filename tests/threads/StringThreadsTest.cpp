// The string module in a rack used from three threads at once, as the program uses it: one
// renders, one sends MIDI, one loads patches, moves controls and changes the voice count.
#include "core/PresetTexts.h"
#include "core/Rack.h"
#include "string/StringModule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

TEST(StringThreads, RenderMidiAndPatchLoadingRunSideBySide) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tStringModule(50, 45);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
    }

    std::atomic<bool> finite{true};
    std::atomic<bool> played{false};
    std::atomic<int> sounding{0};
    std::thread renderer([&] {
        for (int block = 0; block < 1000 || !played; ++block) {
            const double* mix = rack.Render(128);
            for (int i = 0; i < 256; ++i)
                if (!std::isfinite(mix[i])) finite = false;
            if (mix[0] != 0.0) ++sounding;
        }
    });
    std::thread midi([&] {
        for (int n = 0; n < 1000; ++n) {
            const int key = 40 + n % 36;
            rack.NoteOn(0, key, 30 + n % 90);
            rack.Controller(0, 11 + n % 16, n % 128);
            rack.Controller(0, -1, (n * 97) % 16384);
            rack.Controller(0, 64, n % 200 < 100 ? 127 : 0);
            if (n % 2 == 0) rack.NoteOff(0, key);
            if (n % 70 == 0) rack.Controller(0, 121, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        played = true;
    });

    for (int n = 0; n < 120; ++n) {
        const tPresetTexts& preset = PresetTable()[n % 13];
        std::istringstream text(preset.string);
        module->ReadPatch(preset.name, text);
        module->Controls().output.volume.Set(1.0 + 0.01 * n);
        module->Controls().outputFilter.frequency.Set(2.0 + 0.05 * n);
        std::ostringstream saved;
        module->WritePatch(saved);
        if (n % 20 == 0) {
            tRack::tGuard guard(rack);
            module->SetPolyphony(n % 40 == 0 ? 24 : 6);
            module->SetChannel(1);
        }
        std::this_thread::yield();
    }
    midi.join();
    renderer.join();
    EXPECT_TRUE(finite);
    EXPECT_GT(sounding.load(), 0);
}
