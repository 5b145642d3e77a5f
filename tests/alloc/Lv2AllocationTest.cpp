// The LV2 plugins' run() allocates nothing: each of the three plays notes at frames inside
// calls of 1 to 8192 frames while its ports change (module on and off, MIDI channel, voices,
// effects bypass, sliders), and not one allocation function is called.
#include "CountingAllocator.h"

#include "tests/common/MidiAtoms.h"

#include "plugins/lv2/PluginRig.h"

#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

std::map<std::string, LV2_URID> gUrids;

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
    return gUrids.try_emplace(uri, static_cast<LV2_URID>(gUrids.size() + 1)).first->second;
}

// Notes at frames spread over the call, and a controller.
void WriteNotes(std::vector<std::uint64_t>& buffer, int call, int frames) {
    std::vector<tMidiAt> events;
    for (int k = 0; k < 5; ++k) {
        const int key = 40 + (call * 7 + k * 5) % 50;
        events.push_back(k % 2 == 0 ? NoteOn(frames * k / 6, key) : NoteOff(frames * k / 6, key));
    }
    events.push_back(
        {frames * 5 / 6,
         {0xB0, static_cast<std::uint8_t>(11 + call % 15), static_cast<std::uint8_t>(call % 128)}});
    WriteMidiSequence(buffer, Map(nullptr, LV2_ATOM__Sequence), Map(nullptr, LV2_MIDI__MidiEvent),
                      events);
}

} // namespace

TEST(Lv2Allocation, RunAllocatesNothing) {
    LV2_URID_Map map{nullptr, Map};
    const LV2_Feature feature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&feature, nullptr};
    const int lengths[] = {1, 17, 128, 333, 4096, 8192};
    for (uint32_t d = 0; d < 3; ++d) {
        const LV2_Descriptor* descriptor = lv2_descriptor(d);
        ASSERT_NE(descriptor, nullptr);
        SCOPED_TRACE(descriptor->URI);
        const tPluginInfo* info = FindPlugin(descriptor->URI);
        ASSERT_NE(info, nullptr);
        const tPluginRig rig(info->kind, 48000);
        const tParameterTable& table = rig.Parameters();
        std::vector<float> controls(table.size());
        for (std::size_t i = 0; i < table.size(); ++i)
            controls[i] = static_cast<float>(table[i].Default());
        std::vector<float> audio[4];
        for (auto& channel : audio) channel.assign(8192, 0.1f);
        std::vector<std::uint64_t> atoms(8192);

        LV2_Handle handle = descriptor->instantiate(descriptor, 48000.0, "", features);
        ASSERT_NE(handle, nullptr);
        const int first = rig.FirstControlPort();
        for (int p = 0; p < first; ++p)
            descriptor->connect_port(handle, p,
                                     info->instrument && p == 0 ? static_cast<void*>(atoms.data())
                                                                : audio[p].data());
        for (std::size_t i = 0; i < table.size(); ++i)
            descriptor->connect_port(handle, first + static_cast<uint32_t>(i), &controls[i]);
        descriptor->activate(handle);

        long calls = 0;
        for (int call = 0; call < 60; ++call) {
            const int frames = lengths[call % 6];
            WriteNotes(atoms, call, frames);
            // Every tenth call moves every port to another value of its range.
            if (call % 10 == 9)
                for (std::size_t i = 0; i < table.size(); ++i)
                    controls[i] = static_cast<float>(call % 20 == 9 ? table[i].Maximum()
                                                                    : table[i].Default());
            alloc_count::Start();
            descriptor->run(handle, static_cast<uint32_t>(frames));
            calls += alloc_count::Stop();
        }
        EXPECT_EQ(calls, 0);
        double energy = 0.0;
        for (float v : audio[first - 1]) energy += v * v;
        EXPECT_GT(energy, 1e-6); // it played
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
}
