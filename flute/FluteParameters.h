// The flute synthesizer's parameters as one table (see core/Parameter.h): every control of its
// window and the module's on/off, bound to one module's controls.
#pragma once

#include "core/Parameter.h"
#include "flute/FluteControls.h"

tParameterTable FluteParameters(tFluteControls& controls);
