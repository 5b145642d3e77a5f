// Patch texts for the soak: the built-in presets, the same with every field at the ends of its
// control's range and far beyond, and randomly damaged copies.
#pragma once

#include "catalog/PresetTexts.h"
#include "core/Control.h"
#include "core/Rack.h"

#include <random>
#include <string>
#include <vector>

// A preset's module texts, owned; empty text = no such module.
struct tSoakPreset {
    std::string label;
    std::string effects;
    std::string string;
    std::string flute;

    static tSoakPreset Of(int index);
    std::string& TextOf(int type);
    const std::string& TextOf(int type) const;
};

// Adds the modules as the "Presets" menu does: the effects unit first, the instrument wired
// into it.
void AddSoakPreset(tRack& rack, const tSoakPreset& preset);

// Every control the module's patch text carries (meters and other displays left out).
std::vector<tControl*> PatchControls(tSlot& module);

// The values a field takes in the extreme texts: a slider's two ends and points far beyond
// both; a choice's first and last entries and indices beyond them; a switch's 0, 1 and
// values that are neither.
std::vector<double> EndsAndBeyond(const tControl& control);

// The module's own text of base with the control at position index set to value unchecked.
std::string TextWithField(int type, const std::string& base, std::size_t index, double value);

// The numeric tokens of text, in order, as (offset, length).
std::vector<std::pair<std::size_t, std::size_t>> NumberTokens(const std::string& text);

// A copy of text with one to four random edits: numbers replaced by hostile ones,
// characters changed, spans removed, the text cut short.
std::string DamagedText(const std::string& text, std::mt19937& random);
