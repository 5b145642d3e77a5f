// The string voice's output low pass designed for a row of cutoffs at once, as its envelope
// moves the cutoff every few samples. Each cutoff gets exactly the coefficients the filter's
// own setFrequency() gives it: the same clamp, pre-warping and section designs, operation for
// operation. Two cutoffs go side by side through vector operations, which round each element as
// the scalar operation would; only the tangent is taken one at a time.
#pragma once

#include "dsp/LowPass.h"
#include "dsp/SampleRate.h"

// The coefficients of a low pass of order 1 to 4, laid out by order: 1: b0, a1; 2: gain, c1,
// c2; 3: b0, a1, then gain, c1, c2; 4: gain, c1, c2 of each section.
struct tOutputCoefficients {
    double k[6];
};

struct tOutputDesign {
    int order = 0; // 0: no filter
    int rate = kReferenceRate;
    // The first-order section's pole (orders 1 and 3).
    double g = 1.0;
    // The second-order sections' poles and resonance factors (order 2 and 3: [0]; 4: both).
    double a[2] = {};
    double b[2] = {};
    double r[2] = {1.0, 1.0};
    double rootR[2] = {1.0, 1.0};

    // The parameters of a filter as it stands (type, resonance and rate set).
    static tOutputDesign of(const tLowPass1& filter);
    static tOutputDesign of(const tLowPass2& filter);
    static tOutputDesign of(const tLowPass3& filter);
    static tOutputDesign of(const tLowPass4& filter);

    // The coefficients for n cutoffs in hertz.
    void design(const double* cutoffs, int n, tOutputCoefficients* out) const;
};
