// Shared steps of the patch-reader fuzz targets: a module reads the input as its patch text,
// what it then writes reads back to the same text, and it plays a note with what it read.
// Making a module takes milliseconds (its voices and lines), so each target keeps two modules
// for all its inputs and re-initialises their signal processing before playing.
#pragma once

#include "catalog/ModuleFactory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

inline std::string WrittenPatch(tSlot& slot) {
    std::ostringstream out;
    slot.WritePatch(out);
    return out.str();
}

inline void FuzzPatchReader(int type, const std::uint8_t* data, std::size_t size) {
    static tSlot* const slot = CreateModule(type, 0, 0).release();
    static tSlot* const again = CreateModule(type, 0, 0).release();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    slot->ReadPatch("fuzz/patch.txt", in);
    const std::string first = WrittenPatch(*slot);

    // The program's own text reads back to itself.
    std::istringstream back(first);
    again->ReadPatch("again", back);
    if (WrittenPatch(*again) != first) std::abort();

    // A short note, or a loud block through the effects chain.
    slot->SwitchOff();
    slot->SetChannels(2);
    slot->Prepare();
    slot->SwitchOn();
    slot->NoteOn(60, 127);
    slot->Controller(0, -1, 16383);
    for (int block = 0; block < 2; ++block) {
        if (slot->AcceptsInput())
            for (int i = 0; i < 128; ++i) slot->Output()[i] = (i % 5) * 0.4 - 0.8;
        slot->rendered = false;
        slot->Render(64);
    }
    slot->AllNotesOff();
}
