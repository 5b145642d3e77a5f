// MIDI events written into an LV2 atom sequence as a host writes them, for the tests and the
// benchmark that drive the plugins.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>
#include <vector>

struct tMidiAt {
    int frame;
    std::vector<std::uint8_t> bytes;
};

inline tMidiAt NoteOn(int frame, int key, int velocity = 100, int channel = 0) {
    return {frame,
            {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
             static_cast<std::uint8_t>(velocity)}};
}
inline tMidiAt NoteOff(int frame, int key, int channel = 0) {
    return {frame, {static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0}};
}

// The events, sorted by frame, as one sequence at the start of buffer.
inline void WriteMidiSequence(std::vector<std::uint64_t>& buffer, LV2_URID sequenceType,
                              LV2_URID midiEvent, const std::vector<tMidiAt>& events) {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(buffer.data());
    sequence->atom.type = sequenceType;
    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
    sequence->body.unit = 0;
    sequence->body.pad = 0;
    for (const tMidiAt& midi : events) {
        // The events follow the body's header, which follows the atom's.
        std::uint8_t* at =
            reinterpret_cast<std::uint8_t*>(buffer.data()) + sizeof(LV2_Atom) + sequence->atom.size;
        LV2_Atom_Event header{};
        header.time.frames = midi.frame;
        header.body.type = midiEvent;
        header.body.size = static_cast<std::uint32_t>(midi.bytes.size());
        std::memcpy(at, &header, sizeof header);
        std::memcpy(at + sizeof header, midi.bytes.data(), midi.bytes.size());
        sequence->atom.size += lv2_atom_pad_size(header.body.size + sizeof header);
    }
}
