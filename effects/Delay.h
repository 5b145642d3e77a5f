// The echo at the end of the chain, with an optional ping-pong mode that pans the echoes
// back and forth in step with the delay time.
#pragma once

#include "dsp/SampleRate.h"
#include "dsp/SimpleDelay.h"
#include "effects/EffectUnit.h"

class tDelay : public tEffectUnit {
public:
    // The lines hold two seconds: twice the longest delay of the slider.
    static constexpr int kLineLength = 2 * kReferenceRate;
    // Delay times are kept within the lines: 1 sample up to the line length.
    static constexpr int kMinDelay = 1;

    explicit tDelay(tEffectsControls& controls);

    // The lines are sized for two seconds at the rate (audio off: this allocates).
    void setSampleRate(int rate) override;
    void getParams(int* out) const override;
    void setParams(const int* in) override;
    void update() override;
    void reset() override;
    void process(double* buf, int count) override;
    bool isOn() const override { return mGroup.on.IsOn(); }

    int delay() const { return mDelay; }
    int phase() const { return mPhase; }
    double gain() const { return mGain; }
    double feedback() const { return mFeedback; }
    const tSimpleDelay& line(int channel) const { return channel == 0 ? mLeft : mRight; }

    // Samples for a time in ms: trunc(44100 x time) / 1000 at 44100 Hz, within the lines; at
    // another rate the delay whose echo comes as many seconds after its sound.
    static int DelayFor(int rate, double milliseconds);
    static int LineLengthFor(int rate) { return 2 * rate; }

private:
    static double Step(tSimpleDelay& line, double feedback, double input) {
        return line.write(line.output() * feedback + input);
    }

    tDelayControls& mGroup;
    tSimpleDelay mLeft;
    tSimpleDelay mRight;
    int mDelay = 0;
    int mPhase = 0;
    double mGain = 0.0;
    double mFeedback = 0.0;
};
