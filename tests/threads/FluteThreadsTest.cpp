// The flute module in a rack used from three threads at once, as the program uses it: one
// renders, one sends MIDI, one loads patches and moves widgets. Run under ThreadSanitizer
// as well as in the sanitizer test build.
#include "core/PresetTexts.h"
#include "core/Rack.h"
#include "flute/FluteSynth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

TEST(FluteThreads, RenderMidiAndPatchLoadingRunSideBySide) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tFluteSynth(50, 45);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
    }

    std::atomic<bool> finite{true};
    std::atomic<bool> played{false};
    std::atomic<int> sounding{0};
    std::thread renderer([&] {
        for (int block = 0; block < 1500 || !played; ++block) {
            const double* mix = rack.Render(128);
            for (int i = 0; i < 256; ++i)
                if (!std::isfinite(mix[i])) finite = false;
            if (mix[0] != 0.0) ++sounding;
        }
    });
    std::thread midi([&] {
        for (int n = 0; n < 1500; ++n) {
            const int key = 55 + n % 24;
            rack.NoteOn(0, key, 40 + n % 80);
            rack.Controller(0, 11 + n % 14, n % 128);
            rack.Controller(0, -1, (n * 97) % 16384);
            if (n % 3 == 0) rack.NoteOff(0, key);
            if (n % 50 == 0) rack.Controller(0, 121, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        played = true;
    });

    const tPresetTexts& clarinet = PresetTable()[FindPreset("Clarinet")];
    const tPresetTexts& flute = PresetTable()[FindPreset("BrightFlute")];
    for (int n = 0; n < 200; ++n) {
        std::istringstream text(n % 2 == 0 ? clarinet.flute : flute.flute);
        module->ReadPatch(n % 2 == 0 ? clarinet.name : flute.name, text);
        module->Controls().oscillator.embroSize.Set(0.1 + 0.002 * n);
        module->Controls().outputFilter.onOff.Set(n % 2);
        std::ostringstream saved;
        module->WritePatch(saved);
        if (n % 40 == 0) {
            tRack::tGuard guard(rack);
            module->SetChannel(1);
        }
        std::this_thread::yield();
    }
    midi.join();
    renderer.join();
    EXPECT_TRUE(finite);
    EXPECT_GT(sounding.load(), 0);
}
