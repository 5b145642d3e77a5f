// The multi-mode filter stage: low, high or band pass of selectable response and order, its
// cutoff optionally swept by a sine LFO that advances once every 12 samples.
#pragma once

#include "dsp/MultiFilter.h"
#include "dsp/SineTable.h"
#include "effects/EffectUnit.h"

class tUniversalFilter : public tEffectUnit {
public:
    // The LFO is set up for this rate (at 44100 Hz; in proportion at other rates, so that it
    // runs at the same frequency in hertz) and stepped once every 12 samples.
    static constexpr int kLfoRate = 11025;
    static constexpr int kLfoInterval = 12;

    explicit tUniversalFilter(tEffectsControls& controls);

    void setSampleRate(int rate) override;
    void getParams(int* out) const override;
    // Records of 7 values (older texts) set mod freq. 0.05 and mod depth 0.
    void setParams(const int* in) override;
    void update() override;
    void reset() override;
    void process(double* buf, int count) override;
    bool isOn() const override { return mGroup.on.IsOn(); }

    double cutoff() const { return mCutoff; }
    double depth() const { return mDepth; }
    double lfoFrequency() const { return mLfoFreq; }
    double gain() const { return mGain; }
    bool modulated() const { return mModulated; }
    double lfoValue() const { return mLfoValue; }

private:
    // Sets the LFO's step for lfoFreq at the current rate.
    void tuneLfo();
    template <class tConcreteFilter> void run(tConcreteFilter& filter, double* buf, int count);

    tUniversalFilterControls& mGroup;
    tMultiFilter mFilter;
    tSineTable mLfo;
    double mDepth = 0.0;
    double mLfoFreq = 0.0;
    double mLfoValue = 0.0;
    double mGain = 0.0;
    double mCutoff = 0.0;
    int mTick = 0;
    bool mModulated = false;
};
