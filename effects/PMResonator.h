// The PM resonator unit: maps the "PM resonator" widgets onto its two-line core.
#pragma once

#include "effects/EffectUnit.h"
#include "effects/PMCore.h"

class tPMResonator : public tEffectUnit {
public:
    explicit tPMResonator(tEffectsControls& controls);

    void setSampleRate(int rate) override;
    void setChannels(int n) override;
    void getParams(int* out) const override;
    void setParams(const int* in) override;
    void update() override;
    void process(double* buf, int count) override { mCore.process(buf, count); }
    // The core comes to rest at the next update, with the parameters that update reads.
    void reset() override { mRestPending = true; }
    void clear() override { mCore.clear(); }
    bool isOn() const override { return mGroup.on.IsOn(); }
    bool quiet(double level) const override { return mCore.quiet(level); }
    void idle(int frames) override { mCore.idle(frames); }

    const tPMCore& core() const { return mCore; }
    // The resonance frequency for a "frequency" slider value: 13.06 Hz at 0, 2700 Hz at 1.
    static double FrequencyFor(double slider);

private:
    tPMResonatorControls& mGroup;
    tPMCore mCore;
    bool mRestPending = false;
};
