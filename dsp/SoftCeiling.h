// A ceiling for a module's output: exactly the identity up to kKnee, above it a tanh bend
// that approaches kCeiling and never passes it. One compare per sample while the signal stays
// below the knee, which no ordinary play reaches.
#pragma once

#include "dsp/BlockOps.h"

#include <cmath>

class tSoftCeiling {
public:
    static constexpr double kKnee = 500.0;
    static constexpr double kCeiling = 1000.0;

    static double apply(double x) {
        if (std::fabs(x) <= kKnee) return x;
        return bend(x);
    }
    // n values in place. The block is looked at two values at a time first: values that are
    // no number stay as they are, and a block below the knee needs nothing more.
    static void apply(double* values, int n) {
        if (MaxMagnitude(values, n) <= kKnee) return;
        for (int i = 0; i < n; ++i)
            if (!(std::fabs(values[i]) <= kKnee)) values[i] = bend(values[i]);
    }

private:
    // Beyond the knee. A value that is no number or infinite stays so, for the rack to
    // silence and reset the module it came from.
    static double bend(double x) {
        if (!std::isfinite(x)) return x;
        const double room = kCeiling - kKnee;
        const double y = kKnee + room * std::tanh((std::fabs(x) - kKnee) / room);
        return x < 0.0 ? -y : y;
    }
};
