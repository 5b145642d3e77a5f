#include "RackSetup.h"

#include "catalog/ModuleFactory.h"
#include "catalog/Presets.h"
#include "core/RackFile.h"
#include "core/TextFile.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr int kMidiChannels = 16;
// Where the "New" menu puts a module.
constexpr int kNewX = 190;
constexpr int kNewY = 50;

void SwitchOnAt(tRack& rack, const std::vector<tSlot*>& slots, int channel) {
    tRack::tGuard guard(rack);
    for (tSlot* slot : slots) {
        slot->SwitchOn();
        slot->SetChannel(channel);
    }
}

bool LoadRackInput(tRack& rack, const std::string& path, std::string& error) {
    std::string text, reason;
    const tFileRead read = ReadTextFile(path, text, kMaxRackFileSize, reason);
    if (read != tFileRead::kOk) {
        error = ReadFailure(read, path, "rack", reason);
        return false;
    }
    std::istringstream in(text);
    const tRackLoadResult result = LoadRack(rack, in, false, CreateModule);
    switch (result.status) {
    case tRackFileStatus::kOk:
        return true;
    case tRackFileStatus::kNotRackFile:
        error = path + " is not a Kelvora rack file";
        return false;
    case tRackFileStatus::kEndsInRecord:
        error = path + " ends inside a module record";
        return false;
    default:
        error = path + " is damaged";
        return false;
    }
}

bool AddInputs(tRack& rack, const std::vector<tRenderInput>& inputs, std::string& error) {
    int instruments = 0;
    std::vector<tSlot*> unfed; // instrument patches no effects patch has taken yet
    for (const tRenderInput& input : inputs) {
        if (input.kind == tRenderInput::kPreset) {
            if (instruments == kMidiChannels) {
                error = "at most 16 presets and instrument patches (one per MIDI channel)";
                return false;
            }
            const std::size_t before = rack.Slots().size();
            AddPreset(rack, FindPreset(input.value.c_str()));
            const std::vector<tSlot*> added(rack.Slots().begin() + static_cast<long>(before),
                                            rack.Slots().end());
            SwitchOnAt(rack, added, ++instruments);
            continue;
        }
        const int type = ModuleTypeOfPatch(input.value);
        if (type == 0) {
            error = "cannot tell the module of " + input.value +
                    " (patch files end in .pst, .flt or .efx)";
            return false;
        }
        const bool effects = type == kEffectsModule;
        if (effects && unfed.empty()) {
            error = "the effects patch " + input.value + " needs an instrument patch before it";
            return false;
        }
        if (!effects && instruments == kMidiChannels) {
            error = "at most 16 presets and instrument patches (one per MIDI channel)";
            return false;
        }
        std::unique_ptr<tSlot> made = CreateModule(type, kNewX, kNewY);
        if (!made->LoadPatchFile(input.value, error)) return false;
        tSlot* slot = made.release();
        int channel = 0;
        if (effects) {
            channel = unfed.back()->GetChannel() + 1;
            for (tSlot* instrument : unfed) rack.Connect(instrument, slot);
            unfed.clear();
        } else {
            channel = ++instruments;
            unfed.push_back(slot);
        }
        rack.Insert(slot);
        SwitchOnAt(rack, {slot}, channel);
    }
    return true;
}

} // namespace

bool BuildRack(tRack& rack, const tRenderOptions& options, std::string& error) {
    // Modules are inserted at the rack's rate and channel count.
    rack.SetSampleRate(options.rate);
    rack.SetChannels(options.channels);
    if (!options.rackFile.empty()) {
        if (!LoadRackInput(rack, options.rackFile, error)) return false;
    } else {
        std::vector<tRenderInput> inputs = options.inputs;
        if (inputs.empty())
            for (int i = 0; i < kPresetCount; ++i)
                inputs.push_back({tRenderInput::kPreset, PresetTable()[i].label});
        if (!AddInputs(rack, inputs, error)) return false;
    }
    return true;
}

std::vector<int> InstrumentChannels(const tRack& rack) {
    std::vector<int> channels;
    for (const tSlot* slot : rack.Slots())
        if (slot->Type() == kStringModule || slot->Type() == kFluteModule)
            channels.push_back(slot->GetChannel());
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    return channels;
}
