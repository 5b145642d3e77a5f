// The effects unit's parameters as one table (see core/Parameter.h): every control of its
// window but the level meter and its switch, bound to one module's controls. Keys start with
// "fx_", so that an instrument's table and its effects unit's can stand side by side.
#pragma once

#include "core/Parameter.h"
#include "effects/EffectsControls.h"

tParameterTable EffectsParameters(tEffectsControls& controls);
