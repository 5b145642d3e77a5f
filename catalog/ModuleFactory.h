// Making modules by their type number, as rack files and the "New" menu name them.
#pragma once

#include "core/Slot.h"

#include <memory>

// A new module of type 1 (string synthesizer), 2 (flute synthesizer) or 3 (effects unit) at
// (x, y), switched off; null for any other type.
std::unique_ptr<tSlot> CreateModule(int type, int x, int y);

// The module type a patch file's extension names (".pst" 1, ".flt" 2, ".efx" 3), or 0.
int ModuleTypeOfPatch(const std::string& path);
