// The memoryless waveshaper at the head of the effects chain: a square-root compressor above
// a threshold, or with "soft mode" a logarithmic curve.
#pragma once

#include "dsp/LanePair.h"
#include "effects/EffectUnit.h"

class tDistortion : public tEffectUnit {
public:
    explicit tDistortion(tEffectsControls& controls);

    void setSampleRate(int /*rate*/) override {}
    void getParams(int* out) const override;
    void setParams(const int* in) override;
    void update() override;
    void process(double* buf, int count) override;
    bool isOn() const override { return mGroup.on.IsOn(); }

    // The two curves, for the current level.
    double hardShape(double x) const;
    double softShape(double x) const;
    double gain() const { return mGain; }

private:
    void runSoft(double* buf, int count) const;
    // The hard curve on two values side by side, and on the buffer.
    tLanePair hardShapes(tLanePair x) const;
    void runHard(double* buf, int count) const;

    tDistortionControls& mGroup;
    double mGain = 0.0;
    double mLevel = 0.0;
    double mThreshold = 0.0; // hard curve: values up to this pass unchanged
    double mK = 0.1;         // soft curve steepness
    double mSoftNorm = 1.0;  // ln(1 + k)
};
