// The effects patch text (.efx files, rack files, built-in presets): a format line "15", a
// line "0 <output volume x 100>", then one record per chain position 0..7, each the unit's
// integers ended by "-1 ". Position 3 repeats the universal filter, so the filter's record is
// written twice, and when reading, the second one decides.
//
// Reading and writing go through tEffectsPatch, the text's content held apart from any unit:
// the text is read into it without touching the module, and applying it sets the widgets.
#pragma once

#include "effects/EffectUnit.h"
#include "effects/Effects.h"

#include <iosfwd>

struct tEffectsPatch {
    // Whether the format and volume line was read; without it no record was read either.
    bool hasVolume = false;
    double volume = 0.0; // output volume x 100, as the text gives it
    // Each position's values, ended by -1 (at most kRecordSize - 1 values).
    int records[tEffects::kChainLength][tEffectUnit::kRecordSize] = {};
};

// The text into the record. A record ends at its -1, at the end of the input or at a token
// that is no integer (which ends the reading: the records after it are empty); at most 19
// values of a record are kept.
void ReadEffectsPatch(std::istream& in, tEffectsPatch& patch);
// Sets the widgets from the record and updates each unit after its record. Values go into the
// widgets without range checks; widgets whose values the record does not hold keep theirs.
void ApplyEffectsPatch(tEffects& effects, const tEffectsPatch& patch);
// Both: the text read and applied.
void ReadEffectsPatch(tEffects& effects, std::istream& in);

// The widgets as a record, and a record as text (a volume that is a whole number is written
// as one).
void CaptureEffectsPatch(const tEffects& effects, tEffectsPatch& patch);
void WriteEffectsPatch(const tEffectsPatch& patch, std::ostream& out);
void WriteEffectsPatch(const tEffects& effects, std::ostream& out);
