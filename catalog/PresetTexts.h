// The built-in presets: for each, its menu label, its name (the caption of its modules) and
// the patch texts of its modules in their own formats (null = no such module).
#pragma once

constexpr int kPresetCount = 15;

struct tPresetTexts {
    const char* label;   // "PickBass"
    const char* name;    // "FingdBass"
    const char* effects; // .efx text
    const char* string;  // .pst text
    const char* flute;   // .flt text
};

// The 15 entries in menu order.
const tPresetTexts* PresetTable();

// Index of the entry whose menu label is label exactly, or -1.
int FindPreset(const char* label);
