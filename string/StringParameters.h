// The string synthesizer's parameters as one table (see core/Parameter.h): every control of
// its window, the module's on/off and its voice count, bound to one module's controls.
#pragma once

#include "core/Parameter.h"
#include "string/StringControls.h"

tParameterTable StringParameters(tStringControls& controls);
