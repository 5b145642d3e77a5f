#include "effects/Delay.h"

#include <cmath>
#include <cstdlib>

tDelay::tDelay(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.delay), mLeft(kLineLength), mRight(kLineLength) {}

int tDelay::DelayFor(int rate, double milliseconds) {
    // A time from a patch text beyond what the lines hold is limited to them; a delay of
    // no samples becomes one (the ping-pong pan divides by the delay).
    const double scaled = std::trunc(kReferenceRate * milliseconds) / 1000.0;
    const int reference = ClampedInt(std::trunc(scaled), kMinDelay, kLineLength);
    if (rate == kReferenceRate) return reference;
    // The echo follows its sound by the delay less one sample: at another rate the delay
    // that brings it as long after its sound as at the reference rate.
    return ClampedInt(std::round((reference - 1) * rateScale(rate)) + 1.0, kMinDelay,
                      LineLengthFor(rate));
}

void tDelay::setSampleRate(int rate) {
    if (rate == mRate) return;
    tEffectUnit::setSampleRate(rate);
    mLeft.resize(LineLengthFor(rate));
    mRight.resize(LineLengthFor(rate));
    // The lines start again at the same positions as new ones, with the delay applied anew
    // at the next update.
    mDelay = 0;
    mPhase = 0;
}

void tDelay::getParams(int* out) const {
    out[0] = PatchInt(mGroup.volume, 100.0);
    out[1] = PatchInt(mGroup.time);
    out[2] = PatchInt(mGroup.feedback, 100.0);
    out[3] = PatchInt(mGroup.pingPong);
    out[4] = PatchInt(mGroup.on);
    out[5] = -1;
}

void tDelay::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.volume, 100.0);
    record.apply(1, mGroup.time);
    record.apply(2, mGroup.feedback, 100.0);
    record.apply(3, mGroup.pingPong);
    record.apply(4, mGroup.on);
}

void tDelay::update() {
    mGain = SliderLaw(SliderValue(mGroup.volume)) / 2.0;
    // A feedback from a patch text beyond the slider would let the echoes grow: the
    // coefficient takes the slider's range, the stored value stays.
    mFeedback = SliderLaw(SliderValue(mGroup.feedback)) / 2.0;
    const int d = DelayFor(mRate, mGroup.time.Value());
    if (d != mDelay) {
        mDelay = d;
        mLeft.setDelay(d);
        mRight.setDelay(d);
    }
}

void tDelay::reset() {
    // The lines are zeroed as the echoes are about to read them: a reset costs no more than
    // the blocks that follow it.
    mLeft.clearLazily();
    mRight.clearLazily();
    mPhase = 0;
}

void tDelay::process(double* buf, int count) {
    const double gain = mGain;
    const double feedback = mFeedback;
    if (mChannels == 1) {
        mLeft.prepareRun(count);
        for (int i = 0; i < count; ++i) buf[i] += gain * Step(mLeft, feedback, buf[i]);
        return;
    }
    mLeft.prepareRun(count / 2);
    if (!mGroup.pingPong.IsOn()) {
        mRight.prepareRun(count / 2);
        for (int i = 0; i + 1 < count; i += 2) {
            buf[i] += gain * Step(mLeft, feedback, buf[i]);
            buf[i + 1] += gain * Step(mRight, feedback, buf[i + 1]);
        }
        return;
    }
    // Ping-pong: c runs as a triangle from 1 at phase 0 to 0 at phase = delay and back.
    const int delay = mDelay > 0 ? mDelay : 1;
    for (int i = 0; i + 1 < count; i += 2) {
        const double c = static_cast<double>(std::abs(mPhase - delay)) / delay;
        const double y = Step(mLeft, feedback, (1.0 - c) * buf[i] + c * buf[i + 1]);
        buf[i] += (1.0 - c) * gain * y;
        buf[i + 1] += c * gain * y;
        if (mPhase++ >= 2 * delay) mPhase = 0;
    }
}
