#include "effects/UniversalFilter.h"

#include "dsp/SampleRate.h"

tUniversalFilter::tUniversalFilter(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.filter) {
    mFilter.setSampleRate(mRate);
    mFilter.setResonance(1.0);
}

void tUniversalFilter::setSampleRate(int rate) {
    tEffectUnit::setSampleRate(rate);
    mFilter.setSampleRate(rate);
}

void tUniversalFilter::tuneLfo() {
    // One step every 12 samples: the step is the one for kLfoRate at 44100 Hz and shrinks as
    // the rate grows, so the LFO keeps its frequency in hertz.
    mLfo.setFrequency(kLfoRate, mLfoFreq / rateScale(mRate));
}

void tUniversalFilter::getParams(int* out) const {
    out[0] = PatchInt(mGroup.volume, 100.0);
    out[1] = PatchInt(mGroup.mode);
    out[2] = PatchInt(mGroup.type);
    out[3] = PatchInt(mGroup.order);
    out[4] = PatchInt(mGroup.resonance, 100.0);
    out[5] = PatchInt(mGroup.frequency, 1000.0);
    out[6] = PatchInt(mGroup.on);
    out[7] = PatchInt(mGroup.modFreq, 1000.0);
    out[8] = PatchInt(mGroup.modDepth, 100.0);
    out[9] = -1;
}

void tUniversalFilter::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.volume, 100.0);
    record.apply(1, mGroup.mode);
    record.apply(2, mGroup.type);
    record.apply(3, mGroup.order);
    record.apply(4, mGroup.resonance, 100.0);
    record.apply(5, mGroup.frequency, 1000.0);
    record.apply(6, mGroup.on);
    // A record shorter than seven values is damaged: the rest stays as it was.
    if (record.count() < 7) return;
    if (!record.has(7)) {
        mGroup.modFreq.SetRaw(0.05);
        mGroup.modDepth.SetRaw(0.0);
        return;
    }
    record.apply(7, mGroup.modFreq, 1000.0);
    record.apply(8, mGroup.modDepth, 100.0);
}

void tUniversalFilter::reset() {
    mLfoFreq = 0.1 * PitchLaw(SliderValue(mGroup.modFreq));
    mDepth = 0.4 * SliderLaw(SliderValue(mGroup.modDepth));
    tuneLfo();
    mLfo.reset();
    mLfoValue = mLfo.next();
    mModulated = mDepth != 0.0;
    mTick = 0;
    mFilter.reset();
    mCutoff = 100.0 * PitchLaw(SliderValue(mGroup.frequency));
    mFilter.setFrequency(mCutoff);
}

void tUniversalFilter::update() {
    mGain = SliderLaw(SliderValue(mGroup.volume));
    // The filter takes the type for its current order only: a type and an order changed
    // together reach the new order's filter with the new type at the following update.
    mFilter.setMode(mGroup.mode.Index());
    mFilter.setType(mGroup.type.Index());
    mFilter.setOrder(mGroup.order.Index());
    mFilter.setResonance(10.0 * SliderValue(mGroup.resonance) + 1.0);
    mLfoFreq = 0.1 * PitchLaw(SliderValue(mGroup.modFreq));
    mDepth = 0.4 * SliderLaw(SliderValue(mGroup.modDepth));
    mCutoff = 100.0 * PitchLaw(SliderValue(mGroup.frequency));
    if (mDepth == 0.0) {
        mModulated = false;
        mFilter.setFrequency(mCutoff);
    } else {
        mModulated = true;
        tuneLfo();
        mFilter.setFrequency(mCutoff * (1.0 + mDepth * mLfoValue));
    }
}

template <class tConcreteFilter>
void tUniversalFilter::run(tConcreteFilter& filter, double* buf, int count) {
    const int step = mChannels == 1 ? 1 : 2;
    const double gain = mGain;
    for (int i = 0; i + step - 1 < count; i += step) {
        // The LFO advances once every 12 samples and moves the cutoff with it.
        if (mModulated && mTick++ >= kLfoInterval - 1) {
            mTick = 0;
            mLfoValue = mLfo.next();
            filter.setFrequency(mCutoff + mLfoValue * mDepth * mCutoff);
        }
        const double y = filter.process(buf[i]) * gain;
        buf[i] = y;
        if (step == 2) buf[i + 1] = y;
    }
}

void tUniversalFilter::process(double* buf, int count) {
    if (!mModulated) mFilter.setFrequency(mCutoff);
    // Run the selected filter by its own class, so that the per-sample calls bind statically.
    tFilter* current = mFilter.current();
    if (current == mFilter.filter(0)) return run(*static_cast<tLowPass1*>(current), buf, count);
    if (current == mFilter.filter(1)) return run(*static_cast<tLowPass2*>(current), buf, count);
    if (current == mFilter.filter(2)) return run(*static_cast<tLowPass3*>(current), buf, count);
    if (current == mFilter.filter(3)) return run(*static_cast<tLowPass4*>(current), buf, count);
    if (current == mFilter.filter(4)) return run(*static_cast<tHighPass1*>(current), buf, count);
    if (current == mFilter.filter(5)) return run(*static_cast<tHighPass2*>(current), buf, count);
    if (current == mFilter.filter(6)) return run(*static_cast<tHighPass3*>(current), buf, count);
    if (current == mFilter.filter(7)) return run(*static_cast<tHighPass4*>(current), buf, count);
    run(*static_cast<tBandPass2*>(current), buf, count);
}
