// The instrument modules in a rack used from three threads at once, as the program uses them:
// one renders, one sends MIDI, one loads patches, moves controls and changes the module's
// settings. Run under ThreadSanitizer (make tsan) as well as in the sanitizer test build.
#include "catalog/PresetTexts.h"
#include "core/Rack.h"
#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>
#include <thread>

namespace {

// Renders and plays MIDI on two threads while edit(n) runs for n = 0 .. edits - 1 on this one.
// The output must stay finite and the instrument must have sounded.
void PlayWhileEditing(tRack& rack, tSlot* module, int edits, const std::function<void(int)>& edit) {
    rack.SetRendering(true); // audio on: the MIDI thread's events go through the queue
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
    for (int n = 0; n < edits; ++n) {
        edit(n);
        std::this_thread::yield();
    }
    midi.join();
    renderer.join();
    EXPECT_TRUE(finite);
    EXPECT_GT(sounding.load(), 0);
}

} // namespace

TEST(ModuleThreads, StringRendersWhileMidiArrivesAndPatchesLoad) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tStringModule(50, 45);
    rack.Insert(module);
    PlayWhileEditing(rack, module, 120, [&](int n) {
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
    });
}

TEST(ModuleThreads, FluteRendersWhileMidiArrivesAndPatchesLoad) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tFluteSynth(50, 45);
    rack.Insert(module);
    const tPresetTexts& clarinet = PresetTable()[FindPreset("Clarinet")];
    const tPresetTexts& flute = PresetTable()[FindPreset("BrightFlute")];
    PlayWhileEditing(rack, module, 200, [&](int n) {
        const tPresetTexts& preset = n % 2 == 0 ? clarinet : flute;
        std::istringstream text(preset.flute);
        module->ReadPatch(preset.name, text);
        module->Controls().oscillator.embroSize.Set(0.1 + 0.002 * n);
        module->Controls().outputFilter.onOff.Set(n % 2);
        std::ostringstream saved;
        module->WritePatch(saved);
        if (n % 40 == 0) {
            tRack::tGuard guard(rack);
            module->SetChannel(1);
        }
    });
}
