// Whole-block operations of the rack's mixing and checking, two values at a time: the same
// bits as the plain loops, without the chain of dependent additions a scalar check makes.
#pragma once

#include "dsp/LanePair.h"

// True when every one of the n values is a number and finite (x - x is +0 exactly then).
inline bool AllFiniteValues(const double* values, int n) {
    tLaneMask bad = {0, 0};
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const tLanePair x = LoadPair(values + i);
        bad |= Bits(x - x);
    }
    if (i < n) {
        const tLanePair x = LanePair(values[i], 0.0);
        bad |= Bits(x - x);
    }
    return !AnyBit(bad);
}

// to[i] += from[i] for i < n.
inline void AddInto(double* to, const double* from, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2) StorePair(to + i, LoadPair(to + i) + LoadPair(from + i));
    if (i < n) to[i] += from[i];
}

// The largest |values[i]| for i < n, 0 for none (the values are numbers).
inline double MaxMagnitude(const double* values, int n) {
    // Two running maxima, so that each comparison does not wait on the one before; the largest
    // is the largest in whatever order the values are met.
    tLanePair largest = Broadcast(0.0);
    tLanePair next = Broadcast(0.0);
    int i = 0;
    for (; i + 3 < n; i += 4) {
        const tLanePair x = Magnitude(LoadPair(values + i));
        const tLanePair y = Magnitude(LoadPair(values + i + 2));
        largest = x > largest ? x : largest;
        next = y > next ? y : next;
    }
    for (; i + 1 < n; i += 2) {
        const tLanePair x = Magnitude(LoadPair(values + i));
        largest = x > largest ? x : largest;
    }
    largest = next > largest ? next : largest;
    double result = largest[0] > largest[1] ? largest[0] : largest[1];
    if (i < n) {
        const double x = values[i] < 0.0 ? -values[i] : values[i];
        if (x > result) result = x;
    }
    return result;
}

// out[i] = gain * in[i] for i < n.
inline void ScaleInto(double* out, const double* in, int n, double gain) {
    const tLanePair g = Broadcast(gain);
    int i = 0;
    for (; i + 1 < n; i += 2) StorePair(out + i, g * LoadPair(in + i));
    if (i < n) out[i] = gain * in[i];
}
