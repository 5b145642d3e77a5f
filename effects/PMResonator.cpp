#include "effects/PMResonator.h"

#include <cmath>

tPMResonator::tPMResonator(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.pmResonator) {}

void tPMResonator::setSampleRate(int rate) {
    tEffectUnit::setSampleRate(rate);
    mCore.setSampleRate(rate);
}

void tPMResonator::setChannels(int n) {
    tEffectUnit::setChannels(n);
    mCore.setChannels(n);
}

double tPMResonator::FrequencyFor(double slider) {
    return 20.0 * PitchLaw(slider);
}

void tPMResonator::getParams(int* out) const {
    out[0] = PatchInt(mGroup.frequency, 1000.0);
    out[1] = PatchInt(mGroup.feed, 1000.0);
    out[2] = PatchInt(mGroup.feedFreq, 1000.0);
    out[3] = PatchInt(mGroup.scaleX20);
    out[4] = PatchInt(mGroup.resoMode, 1000.0);
    out[5] = PatchInt(mGroup.efxVolume, 100.0);
    out[6] = PatchInt(mGroup.intensity, 1000.0);
    out[7] = PatchInt(mGroup.efxOnly);
    out[8] = PatchInt(mGroup.on);
    out[9] = -1;
}

void tPMResonator::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.frequency, 1000.0);
    record.apply(1, mGroup.feed, 1000.0);
    record.apply(2, mGroup.feedFreq, 1000.0);
    record.apply(3, mGroup.scaleX20);
    record.apply(4, mGroup.resoMode, 1000.0);
    record.apply(5, mGroup.efxVolume, 100.0);
    record.apply(6, mGroup.intensity, 1000.0);
    record.apply(7, mGroup.efxOnly);
    record.apply(8, mGroup.on);
}

void tPMResonator::update() {
    // Line 2's length comes from the ratio of the previous update: a change of "reso. mode"
    // or "scale x20" reaches it one update later.
    mCore.setFrequency(FrequencyFor(mGroup.frequency.Value()));
    mCore.setFeed(SliderValue(mGroup.feed) * 0.5102040816326531);
    mCore.setFeedFreq(mGroup.feedFreq.Value() * 10.0);
    mCore.setScale(mGroup.scaleX20.IsOn());
    mCore.setResoMode(mGroup.resoMode.Value());
    mCore.setOutGain(std::exp(SliderValue(mGroup.efxVolume)) - 1.0);
    mCore.setIntensity(SliderValue(mGroup.intensity));
    mCore.setEfxOnly(mGroup.efxOnly.IsOn());
    if (mRestPending) {
        mRestPending = false;
        mCore.clear();
    }
}
