// The LV2 entry points of the bundle's three plugins: they map the host's ports, MIDI atoms
// and state onto a tPluginRig. run() converts the atom sequence into engine events at their
// frames and leaves the rest to the engine; it allocates nothing, takes no lock and does no I/O.
#include "dsp/SampleRate.h"
#include "plugins/lv2/PluginRig.h"
#include "plugins/lv2/Uris.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

struct tUrids {
    LV2_URID midiEvent;
    LV2_URID atomString;
    LV2_URID instrumentText;
    LV2_URID effectsText;
};

class tInstance {
public:
    tInstance(tPluginKind kind, int rate, const tUrids& urids)
        : rig(kind, rate), urids(urids), controls(rig.Parameters().size(), nullptr),
          events(tPluginRig::kMaxEvents) {}

    void Connect(uint32_t port, void* data) {
        const int first = rig.FirstControlPort();
        if (static_cast<int>(port) >= first) {
            const std::size_t index = port - first;
            if (index < controls.size()) controls[index] = static_cast<const float*>(data);
            return;
        }
        if (rig.Kind() == tPluginKind::kEffects) {
            if (port < 2)
                in[port] = static_cast<const float*>(data);
            else
                out[port - 2] = static_cast<float*>(data);
        } else if (port == 0) {
            midi = static_cast<const LV2_Atom_Sequence*>(data);
        } else {
            out[port - 1] = static_cast<float*>(data);
        }
    }

    void Run(uint32_t frames) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i] != nullptr) rig.ApplyPort(static_cast<int>(i), *controls[i]);
        const int count = ReadMidi(static_cast<int>(frames));
        if (out[0] == nullptr || out[1] == nullptr) return;
        rig.Process(events.data(), count, in[0], in[1], out[0], out[1], static_cast<int>(frames));
    }

    // The sequence's MIDI events as engine events at their frames. Hosts may place events on
    // 4-byte boundaries only, so each header is copied out rather than read in place.
    int ReadMidi(int frames) {
        if (midi == nullptr) return 0;
        int count = 0;
        const auto* at = reinterpret_cast<const std::uint8_t*>(midi + 1);
        const auto* end = reinterpret_cast<const std::uint8_t*>(&midi->body) + midi->atom.size;
        while (at + sizeof(LV2_Atom_Event) <= end) {
            LV2_Atom_Event header;
            std::memcpy(&header, at, sizeof header);
            const std::uint8_t* bytes = at + sizeof header;
            if (header.body.size > static_cast<std::size_t>(end - bytes)) break;
            if (header.body.type == urids.midiEvent) {
                const int frame =
                    std::clamp(static_cast<int>(header.time.frames), 0, std::max(0, frames - 1));
                // Longer messages reach the engine's decoder three bytes at a time.
                for (uint32_t i = 0; i < header.body.size && count < tPluginRig::kMaxEvents;
                     i += 3) {
                    tEngineEvent& event = events[count++];
                    event.frame = frame;
                    event.size =
                        static_cast<std::uint8_t>(std::min<uint32_t>(3, header.body.size - i));
                    std::memcpy(event.bytes, bytes + i, event.size);
                }
            }
            at += lv2_atom_pad_size(static_cast<uint32_t>(sizeof header + header.body.size));
        }
        return count;
    }

    tPluginRig rig;
    tUrids urids;
    std::vector<const float*> controls;
    std::vector<tEngineEvent> events;
    const LV2_Atom_Sequence* midi = nullptr;
    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
};

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* /*bundle*/,
                       const LV2_Feature* const* features) {
    const tPluginInfo* info = FindPlugin(descriptor->URI);
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    const int hz = static_cast<int>(rate + 0.5);
    if (info == nullptr || map == nullptr || !isValidSampleRate(hz)) return nullptr;
    const tUrids urids{
        map->map(map->handle, LV2_MIDI__MidiEvent), map->map(map->handle, LV2_ATOM__String),
        map->map(map->handle, kInstrumentTextKey), map->map(map->handle, kEffectsTextKey)};
    return new (std::nothrow) tInstance(info->kind, hz, urids);
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
    static_cast<tInstance*>(handle)->Connect(port, data);
}

void Activate(LV2_Handle handle) {
    static_cast<tInstance*>(handle)->rig.Activate();
}

void Run(LV2_Handle handle, uint32_t frames) {
    static_cast<tInstance*>(handle)->Run(frames);
}

void Deactivate(LV2_Handle /*handle*/) {}

void Cleanup(LV2_Handle handle) {
    delete static_cast<tInstance*>(handle);
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
    auto* instance = static_cast<tInstance*>(handle);
    const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    const std::string effects = instance->rig.EffectsText();
    if (instance->rig.Instrument() != nullptr) {
        const std::string text = instance->rig.InstrumentText();
        store(state, instance->urids.instrumentText, text.c_str(), text.size() + 1,
              instance->urids.atomString, flags);
    }
    store(state, instance->urids.effectsText, effects.c_str(), effects.size() + 1,
          instance->urids.atomString, flags);
    return LV2_STATE_SUCCESS;
}

// A stored text, or empty when the state has none.
std::string Retrieve(LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, LV2_URID key) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(state, key, &size, &type, &flags);
    if (data == nullptr || size == 0) return {};
    const char* text = static_cast<const char*>(data);
    return std::string(text, strnlen(text, size));
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t /*flags*/,
                         const LV2_Feature* const* /*features*/) {
    auto* instance = static_cast<tInstance*>(handle);
    const std::string text = Retrieve(retrieve, state, instance->urids.instrumentText);
    const std::string effects = Retrieve(retrieve, state, instance->urids.effectsText);
    if (!text.empty()) instance->rig.ReadInstrumentText(text);
    if (!effects.empty()) instance->rig.ReadEffectsText(effects);
    instance->rig.TakeControlsAsSeen();
    return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) {
    static const LV2_State_Interface state = {Save, Restore};
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kStringUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData},
    {kFluteUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData},
    {kEffectsUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData},
};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < sizeof(kDescriptors) / sizeof(kDescriptors[0]) ? &kDescriptors[index] : nullptr;
}
