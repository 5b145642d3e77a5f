// The LV2 plugin's cost against the engine it wraps:
//   BM_Lv2Plugin   a plugin instance through its LV2 entry points (control ports read, MIDI
//                  atoms converted, the output converted to floats), the preset's state applied
//   BM_Lv2Engine   the same preset's rack through the engine alone, as kelvora-render runs it
//                  (without its master stage)
// Each plays a chord struck at the start of every second (CleanGtr six notes, Clarinet one) in
// 128-frame blocks; an iteration renders one second of sound at 44100 Hz, and the counter
// per_frame is the processor time of one stereo frame.
#include "catalog/PresetTexts.h"
#include "catalog/Presets.h"
#include "core/Engine.h"
#include "core/Rack.h"
#include "plugins/lv2/PluginRig.h"
#include "plugins/lv2/Uris.h"
#include "tests/common/MidiAtoms.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 128;

std::map<std::string, LV2_URID> gUrids;
LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
    return gUrids.try_emplace(uri, static_cast<LV2_URID>(gUrids.size() + 1)).first->second;
}

std::vector<int> Keys(const char* preset) {
    return std::string(preset) == "Clarinet" ? std::vector<int>{60}
                                             : std::vector<int>{48, 55, 60, 64, 67, 72};
}

void SetCounters(benchmark::State& state) {
    // Processor time per frame: the time over iterations x kRate frames.
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RunPlugin(benchmark::State& state, const char* preset) {
    const tPresetTexts& texts = PresetTable()[FindPreset(preset)];
    const bool flute = texts.flute != nullptr;
    const LV2_Descriptor* descriptor = lv2_descriptor(flute ? 1 : 0);
    LV2_URID_Map map{nullptr, Map};
    const LV2_Feature feature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&feature, nullptr};
    LV2_Handle handle = descriptor->instantiate(descriptor, kRate, "", features);

    // The preset's texts through the state interface, its ports at the values they give.
    const auto* stateInterface =
        static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    std::map<LV2_URID, std::string> stored = {
        {Map(nullptr, kInstrumentTextKey), flute ? texts.flute : texts.string},
        {Map(nullptr, kEffectsTextKey), texts.effects}};
    stateInterface->restore(
        handle,
        [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
            auto& s = *static_cast<std::map<LV2_URID, std::string>*>(h);
            *size = s.at(key).size() + 1;
            *type = Map(nullptr, LV2_ATOM__String);
            *flags = 0;
            return static_cast<const void*>(s.at(key).c_str());
        },
        &stored, 0, nullptr);
    const tPluginRig rig(flute ? tPluginKind::kFlute : tPluginKind::kString, kRate);
    std::vector<float> controls(rig.Parameters().size());
    std::vector<float> left(kFrames), right(kFrames);
    std::vector<std::uint64_t> atoms(1024);
    descriptor->connect_port(handle, 0, atoms.data());
    descriptor->connect_port(handle, 1, left.data());
    descriptor->connect_port(handle, 2, right.data());
    {
        // The values the preset's ports hold.
        tPluginRig shown(flute ? tPluginKind::kFlute : tPluginKind::kString, kRate);
        shown.ReadInstrumentText(flute ? texts.flute : texts.string);
        shown.ReadEffectsText(texts.effects);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            controls[i] = shown.PortValue(static_cast<int>(i));
            descriptor->connect_port(handle, 3 + static_cast<uint32_t>(i), &controls[i]);
        }
    }
    descriptor->activate(handle);

    std::vector<tMidiAt> chord;
    for (int key : Keys(preset)) chord.push_back(NoteOn(0, key));
    const LV2_URID sequence = Map(nullptr, LV2_ATOM__Sequence);
    const LV2_URID midiEvent = Map(nullptr, LV2_MIDI__MidiEvent);
    for (auto _ : state) {
        WriteMidiSequence(atoms, sequence, midiEvent, chord);
        descriptor->run(handle, kFrames);
        WriteMidiSequence(atoms, sequence, midiEvent, {});
        for (int b = 1; b < kRate / kFrames; ++b) descriptor->run(handle, kFrames);
        benchmark::DoNotOptimize(left[0]);
    }
    SetCounters(state);
    descriptor->cleanup(handle);
}

void RunEngine(benchmark::State& state, const char* preset) {
    tRack rack;
    const tRandomScope noise(rack.Random());
    tEngine engine(rack);
    rack.SetSampleRate(kRate);
    rack.SetChannels(2);
    AddPreset(rack, FindPreset(preset));
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots()) slot->SwitchOn();
    }
    engine.Prepare(kRate, 2);
    std::vector<tEngineEvent> chord;
    for (int key : Keys(preset))
        chord.push_back({0, 3, {0x90, static_cast<std::uint8_t>(key), 100}});
    std::vector<double> out(2 * kFrames);
    for (auto _ : state) {
        engine.Process(chord.data(), static_cast<int>(chord.size()), out.data(), kFrames);
        for (int b = 1; b < kRate / kFrames; ++b) engine.Process(nullptr, 0, out.data(), kFrames);
        benchmark::DoNotOptimize(out[0]);
    }
    SetCounters(state);
}

void BM_Lv2Plugin(benchmark::State& state, const char* preset) {
    RunPlugin(state, preset);
}
void BM_Lv2Engine(benchmark::State& state, const char* preset) {
    RunEngine(state, preset);
}

} // namespace

BENCHMARK_CAPTURE(BM_Lv2Plugin, CleanGtr, "CleanGtr")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Lv2Engine, CleanGtr, "CleanGtr")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Lv2Plugin, Clarinet, "Clarinet")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Lv2Engine, Clarinet, "Clarinet")->Unit(benchmark::kMillisecond);
