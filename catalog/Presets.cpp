#include "catalog/Presets.h"

#include "catalog/ModuleFactory.h"

#include <sstream>

namespace {

constexpr int kEffectsX = 160;
constexpr int kInstrumentX = 50;
constexpr int kPresetY = 45;

std::unique_ptr<tSlot> MakeWithPatch(int type, int x, const char* name, const char* text) {
    std::unique_ptr<tSlot> slot = CreateModule(type, x, kPresetY);
    std::istringstream in(text);
    slot->ReadPatch(name, in);
    return slot;
}

} // namespace

void AddPreset(tRack& rack, int index) {
    if (index < 0 || index >= kPresetCount) return;
    const tPresetTexts& preset = PresetTable()[index];
    tSlot* effects = nullptr;
    if (preset.effects != nullptr) {
        effects = MakeWithPatch(kEffectsModule, kEffectsX, preset.name, preset.effects).release();
        rack.Insert(effects);
    }
    const struct {
        int type;
        const char* text;
    } instruments[] = {{kStringModule, preset.string}, {kFluteModule, preset.flute}};
    for (const auto& instrument : instruments) {
        if (instrument.text == nullptr) continue;
        tSlot* slot =
            MakeWithPatch(instrument.type, kInstrumentX, preset.name, instrument.text).release();
        if (effects != nullptr) rack.Connect(slot, effects);
        rack.Insert(slot);
    }
}
