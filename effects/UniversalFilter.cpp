#include "effects/UniversalFilter.h"

#include "dsp/SampleRate.h"
#include "effects/QuietLevel.h"

#include <algorithm>

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
    mIdleCutoffPending = false;
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
    mIdleCutoffPending = false;
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
    const int frames = count / step;
    const double gain = mGain;
    for (int i = 0; i < frames;) {
        // The LFO advances once every 12 samples and moves the cutoff with it: in the sample
        // whose count has reached 11.
        if (mModulated && mTick >= kLfoInterval - 1) {
            mTick = 0;
            mLfoValue = mLfo.next();
            filter.setFrequency(mCutoff + mLfoValue * mDepth * mCutoff);
        } else if (mModulated) {
            ++mTick;
        }
        // Up to the next step the filter runs from a copy in locals, which the writes to the
        // buffer cannot touch.
        int n = 1;
        if (mModulated)
            n += std::min(frames - i - 1, kLfoInterval - 1 - mTick);
        else
            n = frames - i;
        if (mModulated) mTick += n - 1;
        tConcreteFilter local = filter;
        double* x = buf + step * i;
        for (int j = 0; j < n; ++j) {
            const double y = local.process(x[step * j]) * gain;
            x[step * j] = y;
            if (step == 2) x[step * j + 1] = y;
        }
        filter = local;
        i += n;
    }
}

void tUniversalFilter::process(double* buf, int count) {
    if (mIdleCutoffPending) {
        mIdleCutoffPending = false;
        mFilter.setFrequency(mIdleCutoff);
    }
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

void tUniversalFilter::idle(int frames) {
    if (!mModulated || frames <= 0) return; // unmodulated, process sets the cutoff anyway
    // Per sample the count goes up by one, or from 11 (or beyond) to 0 with an LFO step.
    const int toFirst = std::max(kLfoInterval - 1 - mTick, 0); // plain samples before a step
    if (frames <= toFirst) {
        mTick += frames;
        return;
    }
    const int afterFirst = frames - toFirst - 1;
    const int steps = 1 + afterFirst / kLfoInterval;
    mTick = afterFirst % kLfoInterval;
    mLfo.skip(steps - 1);
    mLfoValue = mLfo.next();
    mIdleCutoff = mCutoff + mLfoValue * mDepth * mCutoff;
    mIdleCutoffPending = true;
}

namespace {
// How far the filter's output rings on from its state, and how much a section lifts what
// passes it (an estimate on the generous side: four times its gain over the square of its
// poles' distance from the unit circle).
double Ring(const tFirstOrderSection& s) {
    if (!(std::fabs(s.a1()) < 1.0)) return INFINITY;
    return std::fabs(s.b0() * s.x1()) + std::fabs(s.a1() * s.y1());
}
double Ring(const tSecondOrderSection& s) {
    return 4.0 * std::fabs(s.gain()) * RingBound(s.w1(), s.w2(), s.c1(), s.c2());
}
double Lift(const tSecondOrderSection& s) {
    const double distance = 1.0 - PoleRadius(s.c1(), s.c2());
    if (!(distance > 0.0)) return INFINITY;
    return 4.0 * std::fabs(s.gain()) / (distance * distance);
}
template <class tResponse> double Ring(const tPassFilter1<tResponse>& f) {
    return Ring(f.first());
}
template <class tResponse> double Ring(const tPassFilter2<tResponse>& f) {
    return Ring(f.second());
}
template <class tResponse> double Ring(const tPassFilter3<tResponse>& f) {
    return Ring(f.second()) + Lift(f.second()) * Ring(f.first());
}
template <class tResponse> double Ring(const tPassFilter4<tResponse>& f) {
    return Ring(f.second()) + Lift(f.second()) * Ring(f.first());
}
double Ring(const tBandPass2& f) {
    return Ring(f.section());
}
} // namespace

bool tUniversalFilter::quiet(double level) const {
    const tFilter* current = mFilter.current();
    double ring = 0.0;
    if (current == mFilter.filter(0))
        ring = Ring(*static_cast<const tLowPass1*>(current));
    else if (current == mFilter.filter(1))
        ring = Ring(*static_cast<const tLowPass2*>(current));
    else if (current == mFilter.filter(2))
        ring = Ring(*static_cast<const tLowPass3*>(current));
    else if (current == mFilter.filter(3))
        ring = Ring(*static_cast<const tLowPass4*>(current));
    else if (current == mFilter.filter(4))
        ring = Ring(*static_cast<const tHighPass1*>(current));
    else if (current == mFilter.filter(5))
        ring = Ring(*static_cast<const tHighPass2*>(current));
    else if (current == mFilter.filter(6))
        ring = Ring(*static_cast<const tHighPass3*>(current));
    else if (current == mFilter.filter(7))
        ring = Ring(*static_cast<const tHighPass4*>(current));
    else
        ring = Ring(*static_cast<const tBandPass2*>(current));
    return std::fabs(mGain) * ring <= level;
}
