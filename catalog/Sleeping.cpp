#include "catalog/Sleeping.h"

#include "effects/Effects.h"
#include "flute/FluteSynth.h"
#include "string/StringSynth.h"

void AllowSleeping(bool allowed) {
    tStringSynth::SetSleeping(allowed);
    tFluteSynth::AllowSleep(allowed);
    tEffects::AllowSleep(allowed);
}
