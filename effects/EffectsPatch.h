// The effects patch text (.efx files, rack files, built-in presets): a format line "15", a
// line "0 <output volume x 100>", then one record per chain position 0..7, each the unit's
// integers ended by "-1 ". Position 3 repeats the universal filter, so the filter's record is
// written twice, and when reading, the second one decides.
#pragma once

#include <iosfwd>

class tEffects;

void WriteEffectsPatch(const tEffects& effects, std::ostream& out);

// Sets the widgets from the text and updates each unit after its record. Values go into the
// widgets without range checks. A record ends at its -1, at the end of the input or at a
// token that is no integer; at most 19 values of a record are kept. Widgets whose values the
// text does not hold keep theirs.
void ReadEffectsPatch(tEffects& effects, std::istream& in);
