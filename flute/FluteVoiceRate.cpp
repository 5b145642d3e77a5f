// The flute voice at the sample rate it is given: what the rate changes, and the tuning that
// keeps a note's loops as long in seconds as at 44100 Hz.
#include "flute/FluteVoice.h"

#include "dsp/DelayTuning.h"
#include "dsp/PhaseDelay.h"
#include "dsp/SampleRate.h"
#include "dsp/Truncate.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Entries a buffer of size entries at 44100 Hz needs at rate (a little more than scaled, for
// the tuning's corrections).
int SizeAtRate(int size, int rate) {
    if (rate == kReferenceRate) return size;
    return static_cast<int>(std::ceil(size * rateScale(rate))) + 8;
}

// Radians per sample of frequency at rate, kept below the Nyquist frequency.
double AngularFrequency(double frequency, int rate) {
    return std::min(kTwoPi * frequency / rate, 3.0);
}

} // namespace

void tFluteVoice::setSampleRate(int rate) {
    rate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    if (rate == mRate) return;
    mRate = rate;
    mRateScale = rateScale(rate);
    mReleaseLength = std::max(atRate(kReleaseLength), 1);
    mBore.resize(SizeAtRate(kBoreSize, rate));
    mJet.resize(SizeAtRate(kJetSize, rate));
    mOutputFilter.setSampleRate(rate);
    mFilterDesigned = false;
    mDcBlocker.setCoefficient(perSampleAtRate(0.995, rate));
    mLoopFilter1.setup(rate, mLoopFilter1.value());
    mLoopFilter2.setup(rate, mLoopFilter2.value());
    mTremolo.setFrequency(rate, mTremoloRate);
    mSounding = 0;
    clearState();
}

int tFluteVoice::atRate(int count) const {
    if (mRate == kReferenceRate) return count;
    return TruncateToInt(std::floor(count * mRateScale + 0.5));
}

double tFluteVoice::referenceA1(const tOnePole& filter) const {
    tOnePole reference = filter;
    reference.setup(kReferenceRate, filter.value());
    reference.update(mFrequency);
    return reference.a1();
}

double tFluteVoice::referenceLossDelay(const tOnePole& filter) const {
    return onePolePhaseDelay(referenceA1(filter), AngularFrequency(mFrequency, kReferenceRate));
}

double tFluteVoice::lossDelay(const tPoleZero& loss) const {
    return lossDelayAt(loss, AngularFrequency(mFrequency, mRate));
}

double tFluteVoice::lossDelayAt(const tPoleZero& loss, double omega) {
    return onePolePhaseDelay(loss.p, omega) + zeroPhaseDelay(loss.q, omega);
}

void tFluteVoice::matchLoss() {
    mLoss1 = onePoleAtRate(referenceA1(mLoopFilter1), mRate);
    mLoss2 = onePoleAtRate(referenceA1(mLoopFilter2), mRate);
}

void tFluteVoice::matchBreath() {
    // The held noise the filter takes has at 44100 Hz more in its highest octave than the same
    // noise held at a higher rate (both are sampled steps, and 44100 Hz folds more of their
    // spectrum back): the match carries the filter's loss at 44100 Hz less that difference.
    constexpr double kPi = 3.141592653589793;
    const double a = mBreathFilter.a1();
    const double k = 4.0 * a / ((1.0 - a) * (1.0 - a));
    auto loss = [&](double f) {
        const double s44 = std::sin(kPi * f / kReferenceRate);
        const double held = mRateScale * std::sin(kPi * f / mRate) / s44;
        return (1.0 + k * s44 * s44) / (held * held);
    };
    // Below 44100 Hz (no highest octave to keep) the filter keeps its decay per second.
    if (mRate < kReferenceRate || !(a >= 0.0 && a < 1.0) ||
        !poleZeroThrough(mRate, 5000.0, loss(5000.0), 14000.0, loss(14000.0), mBreathMatch))
        mBreathMatch = onePoleAtRate(a, mRate);
}

void tFluteVoice::tuneBore(double d, int note) {
    // The line setLength(d, note) gives at 44100 Hz: whole samples and the allpass of the
    // note's tuning fraction.
    const double longest = kBoreSize - 2.0;
    if (!(d >= 0.0)) d = 0.0;
    if (d > longest) d = longest;
    const int length = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    const int read = static_cast<int>(std::floor(length - d + 2.0)) % length;
    const int whole = (read == 0 ? 0 : length - read) + 1;
    const double t = DelayTuning(note);
    const double c = (1.0 - t) / (1.0 + t);
    // The flute model writes the loop value of the sample before into the bore: one more
    // step. Its second loss filter, when on, sits in the same loop.
    const double step = mModel == 1 ? 1.0 : 0.0;
    const bool second = mModel == 1 && mLoopOrder == 1;
    const double reference1 = referenceA1(mLoopFilter1);
    const double reference2 = referenceA1(mLoopFilter2);
    // The loop's delay at frequency f in seconds, at 44100 Hz and at the voice's rate with the
    // bore's whole samples and allpass given.
    auto referenceLoop = [&](double f) {
        const double omega = AngularFrequency(f, kReferenceRate);
        double delay =
            step + whole + allpassPhaseDelay(c, omega) + onePolePhaseDelay(reference1, omega);
        if (second) delay += onePolePhaseDelay(reference2, omega);
        return delay / kReferenceRate;
    };
    auto loopAtRate = [&](double f, int boreWhole, double boreC) {
        const double omega = AngularFrequency(f, mRate);
        double delay =
            step + boreWhole + allpassPhaseDelay(boreC, omega) + lossDelayAt(mLoss1, omega);
        if (second) delay += lossDelayAt(mLoss2, omega);
        return delay / mRate;
    };
    mBoreReference =
        step + whole + allpassPhaseDelay(c, AngularFrequency(mFrequency, kReferenceRate)) +
        (second ? onePolePhaseDelay(reference2, AngularFrequency(mFrequency, kReferenceRate))
                : 0.0);
    mBoreOther = step + (second ? lossDelay(mLoss2) : 0.0);
    const double wanted = (mBoreReference + referenceLossDelay(mLoopFilter1)) * mRateScale -
                          mBoreOther - lossDelay(mLoss1);
    const double target = std::isfinite(wanted) ? wanted : d * mRateScale;
    // Of the whole lengths that leave the allpass a fraction between 0 and 2, the one whose
    // loop is nearest the reference in the upper harmonics (the allpass and the loss filters
    // spread the harmonics' delays a little differently at every rate).
    const int largest = std::max(mBore.size() - 2, 1);
    const int first = std::clamp(static_cast<int>(std::ceil(target)) - 1, 1, largest);
    const double omega = AngularFrequency(mFrequency, mRate);
    mBoreWhole = first;
    double best = -1.0;
    for (int candidate = first; candidate >= std::max(first - 1, 1); --candidate) {
        const double fraction = target - candidate;
        if (fraction < 0.05 && candidate != first - 1) continue;
        const double candidateC = allpassCoefficientFor(fraction, omega);
        double mismatch = 0.0;
        for (double f : {4000.0, 8000.0}) {
            if (f >= 0.4 * std::min(mRate, kReferenceRate)) continue;
            const double e = loopAtRate(f, candidate, candidateC) - referenceLoop(f);
            mismatch += e * e;
        }
        if (best < 0.0 || mismatch < best) {
            best = mismatch;
            mBoreWhole = candidate;
        }
    }
    mBore.setWholeLength(mBoreWhole, 0.0);
    retuneBore();
}

void tFluteVoice::retuneBore() {
    const double wanted = (mBoreReference + referenceLossDelay(mLoopFilter1)) * mRateScale -
                          mBoreOther - lossDelay(mLoss1);
    double c = allpassCoefficientFor(wanted - mBoreWhole, AngularFrequency(mFrequency, mRate));
    // A fraction the whole samples cannot take is met as nearly as a stable allpass allows.
    if (!(c >= -0.9)) c = -0.9;
    if (c > 0.9) c = 0.9;
    mBore.setCoefficient(c);
}
