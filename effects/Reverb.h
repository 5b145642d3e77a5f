// The reverb unit: "low" runs one simple reverb per channel, "reverb4", "reverb6" and
// "reverb8" the comb reverb with 4, 6 or 8 combs per channel.
#pragma once

#include "effects/CombReverb.h"
#include "effects/EffectUnit.h"
#include "effects/SimpleReverb.h"

class tReverb : public tEffectUnit {
public:
    explicit tReverb(tEffectsControls& controls);

    // Both engines size their memories for the rate (audio off: this allocates).
    void setSampleRate(int rate) override;
    void getParams(int* out) const override;
    // Records of 4 to 6 values: a missing room size reads as 2.55, a missing width as 2.6.
    void setParams(const int* in) override;
    void update() override;
    void reset() override;
    void clear() override;
    void process(double* buf, int count) override;
    bool isOn() const override { return mGroup.on.IsOn(); }

    int type() const { return mType; }
    int simpleLength() const { return mLastLength; }
    const tSimpleReverb& simple(int channel) const { return channel == 0 ? mLeft : mRight; }
    const tCombReverb& comb() const { return mComb; }

    // The simple reverb's base length for a damping setting.
    static int SimpleLengthFor(double damping);

private:
    tReverbControls& mGroup;
    int mType = 0;
    int mLastLength = 1;
    tSimpleReverb mLeft;
    tSimpleReverb mRight;
    tCombReverb mComb;
};
