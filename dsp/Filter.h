// The filter family's common interface. Operations a filter does not have do nothing, so
// owners that hold a filter through this interface may call any of them.
//
// Calling order: setSampleRate once (and whenever the rate changes); on a parameter change
// setType and setResonance, then setFrequency, which alone recomputes the coefficients;
// then process once per sample.
#pragma once

class tFilter {
public:
    virtual ~tFilter() = default;
    virtual void setSampleRate(int /*rate*/) {}
    // Cutoff (centre for the band pass) in Hz, clamped; recomputes the coefficients.
    virtual void setFrequency(double /*freq*/) {}
    // Resonance setting; takes effect at the next setFrequency.
    virtual void setResonance(double /*setting*/) {}
    // Zeroes the signal state; coefficients stay.
    virtual void reset() {}
    virtual double process(double /*x*/) { return 0.0; }
    // Response type 0..4 ("critical", "bessel", "butterw", "tscheby", "tscheb3"); any other
    // number selects critical. Takes effect at the next setFrequency.
    virtual void setType(int /*type*/) {}
    // Order minus one (0..3); only the multi-mode filter acts on it.
    virtual void setOrder(int /*order*/) {}
    // 0 low pass, 1 high pass, 2 band pass; only the multi-mode filter acts on it.
    virtual void setMode(int /*mode*/) {}
    // Pole parameters given directly instead of by type; take effect at the next
    // setFrequency. First order: g. Second order: a, b. Third order: g; a, b. Fourth order:
    // a1, b1; a2, b2.
    virtual void setCoefficients(double /*g*/) {}
    virtual void setCoefficients(double /*a*/, double /*b*/) {}
    virtual void setCoefficients(double /*g*/, double /*a*/, double /*b*/) {}
    virtual void setCoefficients(double /*a1*/, double /*b1*/, double /*a2*/, double /*b2*/) {}
};
