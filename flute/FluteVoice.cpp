#include "flute/FluteVoice.h"

#include "dsp/SampleRate.h"
#include "dsp/Truncate.h"

#include <algorithm>
#include <cmath>

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

// --- parameters -------------------------------------------------------------------------

void tFluteVoice::setBreathFilter(double value) {
    // The filter holds its 44100 Hz coefficients; other rates run their match of it.
    mBreathFilter.setup(kReferenceRate, value);
    if (!mSounding) return;
    mBreathFilter.update(mFrequency);
    if (mRate != kReferenceRate) matchBreath();
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
    if (mRate != kReferenceRate) {
        mLoss1 = onePoleAtRate(referenceA1(mLoopFilter1), mRate);
        retuneBore();
    }
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
    mLoss1X1 = 0.0;
    mLoss2X1 = 0.0;
    mBreathX1 = 0.0;
    mDrift.restart();
    if (mRate != kReferenceRate) {
        matchLoss();
        matchBreath();
        tuneBore(boreDelay, boreNote);
    }
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

double tFluteVoice::loss(tOnePole& filter, const tPoleZero& match, double& x1, double x) {
    if (mRate == kReferenceRate) return filter.process(x);
    const double y = match.g * (x + match.q * x1) + match.p * filter.y();
    x1 = x;
    filter.setY(y);
    return y;
}

void tFluteVoice::release() {
    // Released again, the fade would start over from full level.
    if (isReleased()) return;
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
    mLoss1X1 = 0.0;
    mLoss2X1 = 0.0;
    mJetIn = 0.0;
    mLoopOut = 0.0;
    mDcBlocker.reset();
    clearDelays();
}

void tFluteVoice::clearLoop(int count) {
    mLoopFilter1.clear();
    mLoopFilter2.clear();
    mLoss1X1 = 0.0;
    mLoss2X1 = 0.0;
    mJetIn = 0.0;
    mLoopOut = 0.0;
    mDcBlocker.reset();
    mGuardCleared += mBore.clearRecent(count - mBoreClearedAt, 0.0);
    mBoreClearedAt = count;
    mGuardCleared += mJet.clear(0.0);
    ++mLoopResets;
}

void tFluteVoice::clearState() {
    restLoop();
    mBreathFilter.clear();
    mBreathX1 = 0.0;
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

    // The drift and the breath noise advance on their 44100 Hz clock, once per sample at that
    // rate; a sample takes the values they gave last.
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
        const double b = loss(mBreathFilter, mBreathMatch, mBreathX1, mNoiseValue * breath);
        const double x = mBore.output();
        const double x2 = x * x;
        const double v =
            -1.5 * mFeedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
        double y = loss(mLoopFilter1, mLoss1, mLoss1X1, v);
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
        const double b = loss(mBreathFilter, mBreathMatch, mBreathX1, mNoiseValue * breath);
        mJetIn = g * mFeedEmb + (b + 1.0) * mouth;
        const double j2 = j * j;
        const double jj = j * (1.0 - 4.0 * j2 + 2.675 * j2 * j2);
        double y = loss(mLoopFilter1, mLoss1, mLoss1X1, g * mFeedBore + jj);
        if (mLoopOrder == 1) y = loss(mLoopFilter2, mLoss2, mLoss2X1, y);
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
    // Away from 44100 Hz the loss filters run as pole and zero.
    const tPoleZero loss1 = mLoss1;
    const tPoleZero loss2 = mLoss2;
    double loopX1 = mLoss1X1;
    double loop2X1 = mLoss2X1;
    double breathY = mBreathFilter.y();
    const tPoleZero breathMatch = mBreathMatch;
    double breathX1 = mBreathX1;
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
        loopX1 = 0.0;
        loop2X1 = 0.0;
        jetIn = 0.0;
        loopOut = 0.0;
        dcBlocker.reset();
        mGuardCleared += mBore.clearRecent(at - mBoreClearedAt, 0.0);
        mBoreClearedAt = at;
        mGuardCleared += mJet.clear(0.0);
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
            if constexpr (kReference) {
                breathY = breathB0 * (noiseValue * breath) + breathA1 * breathY;
            } else {
                const double nx = noiseValue * breath;
                breathY = breathMatch.g * (nx + breathMatch.q * breathX1) + breathMatch.p * breathY;
                breathX1 = nx;
            }
            const double b = breathY;
            const double x = mBore.output();
            const double x2 = x * x;
            const double v =
                -1.5 * feedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
            if constexpr (kReference) {
                loopY = loopB0 * v + loopA1 * loopY;
            } else {
                loopY = loss1.g * (v + loss1.q * loopX1) + loss1.p * loopY;
                loopX1 = v;
            }
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
            if constexpr (kReference) {
                breathY = breathB0 * (noiseValue * breath) + breathA1 * breathY;
            } else {
                const double nx = noiseValue * breath;
                breathY = breathMatch.g * (nx + breathMatch.q * breathX1) + breathMatch.p * breathY;
                breathX1 = nx;
            }
            const double b = breathY;
            jetIn = g * feedEmb + (b + 1.0) * mouth;
            const double j2 = j * j;
            const double jj = j * (1.0 - 4.0 * j2 + 2.675 * j2 * j2);
            const double v = g * feedBore + jj;
            if constexpr (kReference) {
                loopY = loopB0 * v + loopA1 * loopY;
            } else {
                loopY = loss1.g * (v + loss1.q * loopX1) + loss1.p * loopY;
                loopX1 = v;
            }
            double y = loopY;
            if (secondLoopFilter) {
                if constexpr (kReference) {
                    loop2Y = loop2B0 * y + loop2A1 * loop2Y;
                } else {
                    loop2Y = loss2.g * (y + loss2.q * loop2X1) + loss2.p * loop2Y;
                    loop2X1 = y;
                }
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
    mLoss1X1 = loopX1;
    mLoss2X1 = loop2X1;
    mBreathFilter.setY(breathY);
    mBreathX1 = breathX1;
    return i;
}
