// Whether a run of values all lie within a level of a reference value: the test a delay
// memory passes when its contents have died away. Two values at a time, without branches.
#pragma once

#include "dsp/LanePair.h"

// True when |values[i] - reference| <= level for every i < n (a value that is no number never
// is); a level of 0 asks for exact equality.
inline bool AllWithin(const double* values, int n, double reference, double level) {
    const tLanePair centre = Broadcast(reference);
    const tLanePair limit = Broadcast(level);
    tLaneMask outside = {0, 0};
    int i = 0;
    for (; i + 1 < n; i += 2) outside |= ~(Magnitude(LoadPair(values + i) - centre) <= limit);
    if (i < n) outside |= ~(Magnitude(LanePair(values[i], reference) - centre) <= limit);
    return !AnyBit(outside);
}
