// One loop filter of the string at the voice's rate. The string's loop filters are one-pole
// low passes designed at 44100 Hz (their frequency mappings and the "freq max" ceiling are
// defined there); at that rate this section is that very filter. At another rate a one-pole
// cannot lose per pass what the reference one loses at every frequency: near 22 kHz the
// reference filter's gain levels off, as it must at its Nyquist frequency. So away from
// 44100 Hz the section is a first-order filter with a pole and a zero whose gain equals the
// reference filter's at 0 Hz and at two frequencies high in the band, and lies close to it in
// between: each partial of the string then decays as it does at 44100 Hz.
#pragma once

class tLoopSection {
public:
    // y = b0·x + b1·x1 + a1·y1.
    double b0 = 1.0;
    double b1 = 0.0;
    double a1 = 0.0;
    double x1 = 0.0;
    double y = 0.0;

    // The reference one-pole (y = (1 − a)·x + a·y at 44100 Hz) at rate. At 44100 Hz exactly
    // that filter (b1 = 0).
    void design(double referenceA1, int rate);
    void clear() {
        x1 = 0.0;
        y = 0.0;
    }
    double process(double x) {
        y = b0 * x + b1 * x1 + a1 * y;
        x1 = x;
        return y;
    }
    // Phase delay in samples at omega (radians per sample, 0 < omega < π).
    double delay(double omega) const;
};
