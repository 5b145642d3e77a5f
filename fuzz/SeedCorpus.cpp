// Writes the fuzz targets' seed corpora: the built-in presets' patch texts, the rack file of
// every preset and of all of them together, rc files and MIDI byte streams.
//   kelvora_fuzz_seeds <corpus directory>
#include "catalog/ModuleFactory.h"
#include "catalog/Presets.h"
#include "core/RackFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string gRoot;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string dir = gRoot + "/" + target;
    mkdir(dir.c_str(), 0775);
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

// Rack files seed both the reader and the target that applies them to modules.
void SeedRack(const std::string& name, const std::string& text) {
    Seed("rack_file", name, text);
    Seed("rack_apply", name, text);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes.push_back(static_cast<char>(v));
    return bytes;
}

std::string RackText(tRack& rack) {
    std::ostringstream out;
    SaveRack(rack, out);
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvora_fuzz_seeds <corpus directory>\n");
        return 2;
    }
    gRoot = argv[1];
    mkdir(gRoot.c_str(), 0775);

    tRack all;
    for (int i = 0; i < kPresetCount; ++i) {
        const tPresetTexts& preset = PresetTable()[i];
        const std::string label = preset.label;
        if (preset.string) Seed("string_patch", label + ".pst", preset.string);
        if (preset.flute) Seed("flute_patch", label + ".flt", preset.flute);
        if (preset.effects) Seed("effects_patch", label + ".efx", preset.effects);
        // The texts as the program writes them today, too.
        tRack rack;
        AddPreset(rack, i);
        for (tSlot* slot : rack.Slots()) {
            std::ostringstream out;
            slot->WritePatch(out);
            const char* target = slot->Type() == kStringModule  ? "string_patch"
                                 : slot->Type() == kFluteModule ? "flute_patch"
                                                                : "effects_patch";
            Seed(target, label + "-written" + slot->PatchExtension(), out.str());
        }
        SeedRack(label + ".mst", RackText(rack));
        AddPreset(all, i);
    }
    SeedRack("all-presets.mst", RackText(all));

    Seed("rc_file", "defaults",
         "PatchPath=/home/user/patches/\nAudioDevice=hw:0,0\nNumFragments=4\nPeriodSize=128\n");
    Seed("rc_file", "crlf",
         "PatchPath=/tmp\r\nAudioDevice=plughw:1\r\nNumFragments=3\r\n"
         "PeriodSize=64\r\n");
    Seed("rc_file", "odd", "PeriodSize=100\nNumFragments=x\npatchpath=no\nAudioDevice=\n");

    Seed("midi_decoder", "running-status", Bytes({0x90, 0x3C, 0x40, 0x3E, 0x40, 0x3C, 0x00}));
    Seed("midi_decoder", "controllers",
         Bytes({0xB0, 0x7B, 0x00, 0xB3, 0x0A, 0x20, 0xB3, 0x78, 0x00, 0xB3, 0x01, 0x7F}));
    Seed("midi_decoder", "bend-and-sysex",
         Bytes({0xE0, 0x00, 0x40, 0xF0, 0x41, 0x10, 0xF7, 0x90, 0x3C, 0x40, 0xE5, 0x7F, 0x7F}));
    Seed("midi_decoder", "realtime-inside",
         Bytes({0x92, 0xF8, 0x30, 0xFE, 0x7F, 0xC1, 0x05, 0xD1, 0x40, 0xA1, 0x3C, 0x10, 0x81, 0x30,
                0x00}));
    // Sequencer events, for the event translation: type, then the note or control record.
    auto event = [](int type, std::initializer_list<int> bytes) {
        std::string record(1, static_cast<char>(type));
        for (int b : bytes) record.push_back(static_cast<char>(b));
        return record;
    };
    Seed("sequencer_event", "note-on", event(6, {0, 60, 100, 0}));
    Seed("sequencer_event", "note-on-velocity-0", event(6, {3, 60, 0, 0}));
    Seed("sequencer_event", "controller", event(10, {2, 0, 0, 0, 10, 0, 0, 0, 64, 0, 0, 0}));
    Seed("sequencer_event", "pitch-bend", event(13, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xFF, 0xFF}));
    return 0;
}
