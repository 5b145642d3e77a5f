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

tFluteVoice::tFluteVoice() {
    mNoise.setup(2.0, 5.0);
    mDrift.setup(kReferenceRate, 5.0, 1.0);
    mLoopFilter1.setup(kReferenceRate, 7.0);
    mLoopFilter1.setMode(tOnePole::kFixed);
    mBreathFilter.setup(kReferenceRate, 5.0);
    mBreathFilter.setMode(tOnePole::kFixed);
    mLoopFilter2.setup(kReferenceRate, 7.0);
    mLoopFilter2.setMode(tOnePole::kFixed);
    mOutputFilter.setType(1);
    mOutputFilter.setResonance(1.0);
    mOutputFilter.setSampleRate(kReferenceRate);
    mDcBlocker.setCoefficient(0.995);
    mTremolo.setFrequency(kReferenceRate, 2.0);
    mBore.resize(kBoreSize);
    mJet.resize(kJetSize);
}

void tFluteVoice::setSampleRate(int rate) {
    rate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    if (rate == mRate) return;
    mRate = rate;
    mRateScale = rateScale(rate);
    mReleaseLength = std::max(atRate(kReleaseLength), 1);
    mBore.resize(SizeAtRate(kBoreSize, rate));
    mJet.resize(SizeAtRate(kJetSize, rate));
    mOutputFilter.setSampleRate(rate);
    mDcBlocker.setCoefficient(perSampleAtRate(0.995, rate));
    mLoopFilter1.setup(rate, mLoopFilter1.value());
    mLoopFilter2.setup(rate, mLoopFilter2.value());
    mBreathFilter.setup(rate, mBreathFilter.value());
    mTremolo.setFrequency(rate, mTremoloRate);
    mSounding = 0;
    clearState();
}

int tFluteVoice::atRate(int count) const {
    if (mRate == kReferenceRate) return count;
    return TruncateToInt(std::floor(count * mRateScale + 0.5));
}

// --- parameters -------------------------------------------------------------------------

void tFluteVoice::setBreathFilter(double value) {
    mBreathFilter.setup(mRate, value);
    if (mSounding) mBreathFilter.update(mFrequency);
}

void tFluteVoice::setLoopFilter(double value) {
    mLoopFilter1.setup(mRate, value);
    mLoopFilter2.setup(mRate, value);
    if (!mSounding) return;
    // The module sets the filter every block; it is computed again only when it changed.
    if (mLoopFilter1.value() == mLoopValue && mLoopFilter1.mode() == mLoopMode &&
        mLoopFilter1.ceiling() == mLoopCeiling)
        return;
    mLoopFilter1.update(mFrequency);
    mLoopValue = mLoopFilter1.value();
    mLoopMode = mLoopFilter1.mode();
    mLoopCeiling = mLoopFilter1.ceiling();
    if (mRate != kReferenceRate) retuneBore();
}

void tFluteVoice::setLoopCeiling(double ceiling) {
    mLoopFilter1.setCeiling(ceiling);
    mLoopFilter2.setCeiling(ceiling);
}

void tFluteVoice::setLoopMode(int mode) {
    mLoopFilter1.setMode(mode);
    mLoopFilter2.setMode(mode);
}

void tFluteVoice::setJetRatio(double x, int steps) {
    const double target = x < 1.0 ? x * mScale : mScale;
    if (steps <= 0) {
        mJetRatio = target;
        mGlideLeft = 0;
        mGlideStep = 0.0;
        // A voice that never played has no note to measure the jet by; noteOn sets it.
        if (mFrequency > 0.0) setJetDelay();
        return;
    }
    mGlideLeft = steps;
    mGlideStep = (target - mJetRatio) / steps;
    if (std::fabs(mGlideStep) < 1e-6) mGlideLeft = 0;
}

void tFluteVoice::setCutoff(double x) {
    // Without the note the cutoff is in hertz, those it has at 44100 Hz at every rate.
    mCutoff =
        mFollowNote ? std::pow(2.0, x - 1.0) : std::pow(2.0, x - 1.0) * kReferenceRate / 512.0;
    if (mSounding) updateCutoff();
}

void tFluteVoice::updateCutoff() {
    mOutputFilter.setFrequency(mFollowNote ? mFrequency * mCutoff : mCutoff);
}

// --- playing ----------------------------------------------------------------------------

void tFluteVoice::noteOn(double frequency, double attack, int note) {
    mJetIn = 0.0;
    mLoopOut = 0.0;
    mSounding = 0;
    mFrequency = frequency;
    // Lengths are counted in periods at 44100 Hz and then taken to the voice's rate.
    const int referencePeriod = static_cast<int>(std::floor(kReferenceRate / frequency + 0.5));
    mPeriod = mRate == kReferenceRate ? referencePeriod
                                      : TruncateToInt(std::floor(mRate / frequency + 0.5));
    mEnd = kSustained; // sustains until released

    mBore.resetState();
    mJet.resetState();
    mTremolo.reset();

    // The delay lines keep their lengths within their buffers; a note index outside the
    // tuning table gives a plain delay.
    double boreDelay = 0.0;
    int boreNote = 0;
    if (mModel != 1) {
        // Half a period: the inverting reflection makes the round trip one period.
        boreDelay = kReferenceRate * 0.5 / frequency;
        boreNote = note + 12;
    } else {
        boreDelay = kReferenceRate * mBoreScale / frequency;
        boreNote = static_cast<int>(note - 12.0 * (mBoreScale - 1.0));
    }
    if (mRate == kReferenceRate) mBore.setLength(boreDelay, boreNote);
    setJetDelay();

    mBreathLength = atRate(TruncateToInt(mBreathAttack * referencePeriod));
    if (frequency > 440.0)
        mAttackLength = atRate(TruncateToInt(4.0 * referencePeriod * attack *
                                             std::sqrt(frequency * 0.0022727272727272726)));
    else
        mAttackLength = atRate(TruncateToInt(4.0 * referencePeriod * attack));
    mReleaseStart = mEnd;

    if (mFilterOn) {
        mOutputFilter.reset();
        updateCutoff();
    }
    mDcBlocker.resetInput();

    mLoopFilter1.update(frequency);
    mLoopFilter2.update(frequency);
    mBreathFilter.update(frequency);
    mLoopFilter1.clear();
    mLoopFilter2.clear();
    mBreathFilter.clear();
    mLoopValue = mLoopFilter1.value();
    mLoopMode = mLoopFilter1.mode();
    mLoopCeiling = mLoopFilter1.ceiling();
    mDrift.restart();
    if (mRate != kReferenceRate) tuneBore(boreDelay, boreNote);
    // The line's new length holds whatever earlier notes left in it.
    mBoreClearedAt = -mBore.length();
    // The first sample takes the first reference sample's noise and drift.
    mClock = mRate - kReferenceRate;

    mCount = 0;
    mSounding = 1;
}

void tFluteVoice::setJetDelay() {
    const double d = kReferenceRate * mJetRatio / mFrequency;
    if (mRate == kReferenceRate) {
        mJet.setDelay(d);
        return;
    }
    // From jetIn to the jet's output the model adds two samples to the line's lag and
    // fraction; the whole path keeps its length in seconds.
    mJet.setTapDelay((2.0 + tFracDelay::delayOf(d, kJetSize)) * mRateScale - 2.0);
}

double tFluteVoice::loopFilterDelay(const tOnePole& filter) const {
    return onePolePhaseDelay(filter.a1(), AngularFrequency(mFrequency, mRate));
}

double tFluteVoice::referenceLoopFilterDelay(const tOnePole& filter) const {
    tOnePole reference = filter;
    reference.setup(kReferenceRate, filter.value());
    reference.update(mFrequency);
    return onePolePhaseDelay(reference.a1(), AngularFrequency(mFrequency, kReferenceRate));
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
    mBoreReference =
        step + whole + allpassPhaseDelay(c, AngularFrequency(mFrequency, kReferenceRate));
    mBoreOther = step;
    if (second) {
        mBoreReference += referenceLoopFilterDelay(mLoopFilter2);
        mBoreOther += loopFilterDelay(mLoopFilter2);
    }
    const double wanted = (mBoreReference + referenceLoopFilterDelay(mLoopFilter1)) * mRateScale -
                          mBoreOther - loopFilterDelay(mLoopFilter1);
    // Whole samples leave the allpass a fraction in [0.5, 1.5), where it is flattest.
    const double plain = d * mRateScale;
    const double target = std::isfinite(wanted) ? wanted : plain;
    mBoreWhole =
        std::clamp(static_cast<int>(std::floor(target - 0.5)), 1, std::max(mBore.size() - 2, 1));
    mBore.setWholeLength(mBoreWhole, 0.0);
    retuneBore();
}

void tFluteVoice::retuneBore() {
    const double wanted = (mBoreReference + referenceLoopFilterDelay(mLoopFilter1)) * mRateScale -
                          mBoreOther - loopFilterDelay(mLoopFilter1);
    double c = allpassCoefficientFor(wanted - mBoreWhole, AngularFrequency(mFrequency, mRate));
    // A fraction the whole samples cannot take is met as nearly as a stable allpass allows.
    if (!(c >= -0.9)) c = -0.9;
    if (c > 0.9) c = 0.9;
    mBore.setCoefficient(c);
}

void tFluteVoice::release() {
    mReleaseStart = mCount;
    mEnd = mCount + mReleaseLength;
}

void tFluteVoice::clearDelays() {
    mBore.clear(0.0);
    mBoreClearedAt = mCount;
    mJet.clear(0.0);
}

void tFluteVoice::restLoop() {
    mLoopFilter1.clear();
    mLoopFilter2.clear();
    mJetIn = 0.0;
    mLoopOut = 0.0;
    mDcBlocker.reset();
    clearDelays();
}

void tFluteVoice::clearLoop(int count) {
    mLoopFilter1.clear();
    mLoopFilter2.clear();
    mJetIn = 0.0;
    mLoopOut = 0.0;
    mDcBlocker.reset();
    mBore.clearRecent(count - mBoreClearedAt, 0.0);
    mBoreClearedAt = count;
    mJet.clear(0.0);
    ++mLoopResets;
}

void tFluteVoice::clearState() {
    restLoop();
    mBreathFilter.clear();
    mOutputFilter.reset();
    mGlideLeft = 0;
}

namespace {

struct tEnvelopes {
    double pressure; // pEnv
    double level;    // aEnv
    double breath;   // breath noise amplitude
};

// Pressure and amplitude envelopes (ramp up, hold, straight line down to the end) and the
// breath amplitude with its boost at the note start, at sample count of the note.
inline tEnvelopes EnvelopesAt(int count, int attackLength, int releaseStart, int end,
                              int breathLength, double pressure, double level, double breathLevel,
                              double breathBoost) {
    tEnvelopes e{pressure, level, breathLevel};
    if (count < attackLength) {
        e.pressure = pressure * count / attackLength;
        e.level = level * count / attackLength;
    } else if (count > releaseStart) {
        const int left = end - count;
        const int span = end - releaseStart;
        e.pressure = pressure * left / span;
        e.level = level * left / span;
    }
    if (count < breathLength)
        e.breath = breathLevel * (1.0 + breathBoost * (breathLength - count) / breathLength);
    return e;
}

} // namespace

// One sample, step by step as the model is described; processBlock() is the same
// computation with the state held in locals.
double tFluteVoice::process() {
    if (!mSounding || mCount >= mEnd) {
        mSounding = 0;
        return 0.0;
    }
    const int count = mCount;

    const tEnvelopes env = EnvelopesAt(count, mAttackLength, mReleaseStart, mEnd, mBreathLength,
                                       mPressure, mLevel, mBreathLevel, mBreathBoost);
    const double pEnv = env.pressure;
    const double aEnv = env.level;
    const double breath = env.breath;

    // The noise and the drift advance on their 44100 Hz clock (once per sample at that rate).
    mClock += kReferenceRate;
    while (mClock >= mRate) {
        mClock -= mRate;
        mDriftValue = mDrift.next();
        mNoiseValue = mNoise.next();
    }
    const double t = mTremolo.next();
    const double d = mDriftValue;
    const double mouth = d * mDriftDepth + mTremoloDepth * t + pEnv;

    double out;
    if (mModel != 1) {
        const double b = mBreathFilter.process(mNoiseValue * breath);
        const double x = mBore.output();
        const double x2 = x * x;
        const double v =
            -1.5 * mFeedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
        double y = mLoopFilter1.process(v);
        // A loop that has blown up starts again from silence, before the value enters the bore.
        if (!(std::fabs(y) <= kBlowUp)) {
            y = 0.0;
            clearLoop(count);
        }
        mBore.write(y);
        out = mDcBlocker.process(y) * aEnv;
    } else {
        const double x = mBore.output();
        const double g = (1.0 - 0.5 * x * x) * x;
        mBore.write(mLoopOut);
        const double j = mJet.output();
        mJet.write(mJetIn);
        const double b = mBreathFilter.process(mNoiseValue * breath);
        mJetIn = g * mFeedEmb + (b + 1.0) * mouth;
        const double j2 = j * j;
        const double jj = j * (1.0 - 4.0 * j2 + 2.675 * j2 * j2);
        double y = mLoopFilter1.process(g * mFeedBore + jj);
        if (mLoopOrder == 1) y = mLoopFilter2.process(y);
        // A loop that has blown up starts again from silence, before the value enters the
        // bore.
        if (!(std::fabs(y) <= kBlowUp)) {
            y = 0.0;
            clearLoop(count);
        }
        mLoopOut = y;
        out = mDcBlocker.process(mLoopOut) * aEnv;
    }

    if (mGlideLeft > 0) {
        mJetRatio += mGlideStep;
        setJetDelay();
        --mGlideLeft;
    }
    if (mFilterOn) out = mOutputFilter.process(out);
    ++mCount;
    return out;
}

void tFluteVoice::processBlock(double* out, int n) {
    int done = 0;
    if (mSounding && n > 0) {
        const bool reference = mRate == kReferenceRate;
        if (mModel != 1) {
            if (reference)
                done = mFilterOn ? run<false, true, true>(out, n) : run<false, false, true>(out, n);
            else
                done =
                    mFilterOn ? run<false, true, false>(out, n) : run<false, false, false>(out, n);
        } else {
            if (reference)
                done = mFilterOn ? run<true, true, true>(out, n) : run<true, false, true>(out, n);
            else
                done = mFilterOn ? run<true, true, false>(out, n) : run<true, false, false>(out, n);
        }
    }
    for (int i = done; i < n; ++i) out[i] = 0.0;
    if (done < n) mSounding = 0;
}

// The block loop of process(): the voice's own state and working copies of its small signal
// blocks live in locals for the block, and the loop filters run their recursion here, so the
// compiler keeps their state in registers instead of storing and reloading it every sample.
// Stretches in which the envelopes and the breath stand still skip their arithmetic. Every
// expression is the one process() evaluates, in the same order, so the samples are the same
// to the last bit. Returns how many samples were produced before the note ended.
template <bool kFlute, bool kFilter, bool kReference> int tFluteVoice::run(double* out, int n) {
    const int attackLength = mAttackLength;
    const int releaseStart = mReleaseStart;
    const int end = mEnd;
    const int breathLength = mBreathLength;
    const double pressure = mPressure;
    const double level = mLevel;
    const double breathLevel = mBreathLevel;
    const double breathBoost = mBreathBoost;
    const double driftDepth = mDriftDepth;
    const double tremoloDepth = mTremoloDepth;
    const double feedEmb = mFeedEmb;
    const double feedBore = mFeedBore;
    const bool secondLoopFilter = mLoopOrder == 1;
    const double loopB0 = mLoopFilter1.b0();
    const double loopA1 = mLoopFilter1.a1();
    const double loop2B0 = mLoopFilter2.b0();
    const double loop2A1 = mLoopFilter2.a1();
    const double breathB0 = mBreathFilter.b0();
    const double breathA1 = mBreathFilter.a1();
    double loopY = mLoopFilter1.y();
    double loop2Y = mLoopFilter2.y();
    double breathY = mBreathFilter.y();
    double loopOut = mLoopOut;
    double jetIn = mJetIn;
    int glideLeft = mGlideLeft;
    tSineTable tremolo = mTremolo;
    tRandomRamp drift = mDrift;
    tWhiteNoise noise = mNoise;
    const int rate = mRate;
    int clock = mClock;
    double driftValue = mDriftValue;
    double noiseValue = mNoiseValue;
    tDcBlocker dcBlocker = mDcBlocker;
    tLowPass2 outputFilter = mOutputFilter;

    int count = mCount;
    const int limit = count < end ? std::min(n, end - count) : 0;
    if (limit <= 0) return 0;

    // The clarinet never changes loopOut, so its guard acts once for the whole block.
    if constexpr (!kFlute) {
        if (!(std::fabs(loopOut) <= kBlowUp)) {
            loopOut = 0.0;
            ++mLoopResets;
        }
    }

    // What clearLoop() does, for the state held in locals.
    auto clearLoopLocals = [&](int at) {
        loopY = 0.0;
        loop2Y = 0.0;
        jetIn = 0.0;
        loopOut = 0.0;
        dcBlocker.reset();
        mBore.clearRecent(at - mBoreClearedAt, 0.0);
        mBoreClearedAt = at;
        mJet.clear(0.0);
        ++mLoopResets;
    };

    // One sample for the given envelope values and breath amplitude.
    auto tick = [&](double pEnv, double aEnv, double breath) __attribute__((always_inline)) {
        if constexpr (kReference) {
            driftValue = drift.next();
            noiseValue = noise.next();
        } else {
            clock += kReferenceRate;
            while (clock >= rate) {
                clock -= rate;
                driftValue = drift.next();
                noiseValue = noise.next();
            }
        }
        const double t = tremolo.next();
        const double d = driftValue;
        const double mouth = d * driftDepth + tremoloDepth * t + pEnv;

        double sample;
        if constexpr (!kFlute) {
            breathY = breathB0 * (noiseValue * breath) + breathA1 * breathY;
            const double b = breathY;
            const double x = mBore.output();
            const double x2 = x * x;
            const double v =
                -1.5 * feedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
            loopY = loopB0 * v + loopA1 * loopY;
            double y = loopY;
            if (!(std::fabs(y) <= kBlowUp)) {
                y = 0.0;
                clearLoopLocals(count);
            }
            mBore.write(y);
            sample = dcBlocker.process(y) * aEnv;
        } else {
            const double x = mBore.output();
            const double g = (1.0 - 0.5 * x * x) * x;
            mBore.write(loopOut);
            const double j = mJet.output();
            mJet.write(jetIn);
            breathY = breathB0 * (noiseValue * breath) + breathA1 * breathY;
            const double b = breathY;
            jetIn = g * feedEmb + (b + 1.0) * mouth;
            const double j2 = j * j;
            const double jj = j * (1.0 - 4.0 * j2 + 2.675 * j2 * j2);
            loopY = loopB0 * (g * feedBore + jj) + loopA1 * loopY;
            double y = loopY;
            if (secondLoopFilter) {
                loop2Y = loop2B0 * y + loop2A1 * loop2Y;
                y = loop2Y;
            }
            if (!(std::fabs(y) <= kBlowUp)) {
                y = 0.0;
                clearLoopLocals(count);
            }
            loopOut = y;
            sample = dcBlocker.process(loopOut) * aEnv;
        }

        if (glideLeft > 0) {
            mJetRatio += mGlideStep;
            setJetDelay();
            --glideLeft;
        }
        if constexpr (kFilter) sample = outputFilter.process(sample);
        return sample;
    };

    int i = 0;
    while (i < limit) {
        if (count >= attackLength && count >= breathLength && count <= releaseStart) {
            // Sustain: the envelopes hold and the breath boost is over.
            const int stop = std::min(limit, i + (releaseStart - count) + 1);
            for (; i < stop; ++i, ++count) out[i] = tick(pressure, level, breathLevel);
            continue;
        }
        const tEnvelopes env = EnvelopesAt(count, attackLength, releaseStart, end, breathLength,
                                           pressure, level, breathLevel, breathBoost);
        out[i] = tick(env.pressure, env.level, env.breath);
        ++i;
        ++count;
    }

    mCount = count;
    mTremolo = tremolo;
    mDrift = drift;
    mNoise = noise;
    mClock = clock;
    mDriftValue = driftValue;
    mNoiseValue = noiseValue;
    mDcBlocker = dcBlocker;
    mOutputFilter = outputFilter;
    mLoopOut = loopOut;
    mJetIn = jetIn;
    mGlideLeft = glideLeft;
    mLoopFilter1.setY(loopY);
    mLoopFilter2.setY(loop2Y);
    mBreathFilter.setY(breathY);
    return i;
}
