// Second-order band pass (s/Q) / (1 + s/Q + s²); the resonance setting gives its quality
// factor Q, 1/3 until set.
#pragma once

#include "dsp/Filter.h"
#include "dsp/FilterDesign.h"
#include "dsp/FilterSections.h"

class tBandPass2 final : public tFilter {
public:
    void setSampleRate(int rate) override { storeFilterRate(mRate, rate); }
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override { mSection.reset(); }
    double process(double x) override { return mSection.bandPass(x); }

    int sampleRate() const { return mRate; }
    const tSecondOrderSection& section() const { return mSection; }

private:
    tSecondOrderSection mSection;
    int mRate = kDefaultFilterRate;
};
