// The built-in presets of the "Presets" menu: each adds an instrument and, for all but one,
// an effects unit that the instrument feeds. The rack is not cleared.
#pragma once

#include "catalog/PresetTexts.h"
#include "core/Rack.h"

// Adds the preset of that index (0..14, menu order) to the rack: the effects unit at
// (160, 45) first, then the instrument at (50, 45) wired into it. Both are captioned with the
// preset's name and start switched off on channel 1. An index outside 0..14 does nothing.
void AddPreset(tRack& rack, int index);
