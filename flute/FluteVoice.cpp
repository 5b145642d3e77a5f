#include "flute/FluteVoice.h"

#include "dsp/Truncate.h"

#include <algorithm>
#include <cmath>

tFluteVoice::tFluteVoice() {
    mNoise.setup(2.0, 5.0);
    mDrift.setup(kRate, 5.0, 1.0);
    mLoopFilter1.setup(kRate, 7.0);
    mLoopFilter1.setMode(tOnePole::kFixed);
    mBreathFilter.setup(kRate, 5.0);
    mBreathFilter.setMode(tOnePole::kFixed);
    mLoopFilter2.setup(kRate, 7.0);
    mLoopFilter2.setMode(tOnePole::kFixed);
    mOutputFilter.setType(1);
    mOutputFilter.setResonance(1.0);
    mOutputFilter.setSampleRate(kRate);
    mDcBlocker.setCoefficient(0.995);
    mTremolo.setFrequency(kRate, 2.0);
    mBore.resize(kBoreSize);
    mJet.resize(kJetSize);
}

// --- parameters -------------------------------------------------------------------------

void tFluteVoice::setBreathFilter(double value) {
    mBreathFilter.setup(kRate, value);
    if (mSounding) mBreathFilter.update(mFrequency);
}

void tFluteVoice::setLoopFilter(double value) {
    mLoopFilter1.setup(kRate, value);
    mLoopFilter2.setup(kRate, value);
    if (mSounding) mLoopFilter1.update(mFrequency);
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
    mCutoff = mFollowNote ? std::pow(2.0, x - 1.0) : std::pow(2.0, x - 1.0) * kRate / 512.0;
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
    mPeriod = static_cast<int>(std::floor(kRate / frequency + 0.5));
    mEnd = 1000000000; // sustains until released

    mBore.resetState();
    mJet.resetState();
    mTremolo.reset();

    // The delay lines keep their lengths within their buffers; a note index outside the
    // tuning table gives a plain delay.
    if (mModel != 1) {
        // Half a period: the inverting reflection makes the round trip one period.
        mBore.setLength(kRate * 0.5 / frequency, note + 12);
    } else {
        const int n = static_cast<int>(note - 12.0 * (mBoreScale - 1.0));
        mBore.setLength(kRate * mBoreScale / frequency, n);
    }
    setJetDelay();

    mBreathLength = TruncateToInt(mBreathAttack * mPeriod);
    if (frequency > 440.0)
        mAttackLength =
            TruncateToInt(4.0 * mPeriod * attack * std::sqrt(frequency * 0.0022727272727272726));
    else
        mAttackLength = TruncateToInt(4.0 * mPeriod * attack);
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
    mDrift.restart();

    mCount = 0;
    mSounding = 1;
}

void tFluteVoice::release() {
    mReleaseStart = mCount;
    mEnd = mCount + kReleaseLength;
}

void tFluteVoice::clearDelays() {
    mBore.clear(0.0);
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

void tFluteVoice::clearLoop() {
    restLoop();
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

    const double t = mTremolo.next();
    const double d = mDrift.next();
    const double mouth = d * mDriftDepth + mTremoloDepth * t + pEnv;

    double out;
    if (mModel != 1) {
        const double b = mBreathFilter.process(mNoise.next() * breath);
        const double x = mBore.output();
        const double x2 = x * x;
        const double v =
            -1.5 * mFeedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
        double y = mLoopFilter1.process(v);
        // A loop that has blown up starts again from silence, before the value enters the bore.
        if (!(std::fabs(y) <= kBlowUp)) {
            y = 0.0;
            clearLoop();
        }
        mBore.write(y);
        out = mDcBlocker.process(y) * aEnv;
    } else {
        const double x = mBore.output();
        const double g = (1.0 - 0.5 * x * x) * x;
        mBore.write(mLoopOut);
        const double j = mJet.output();
        mJet.write(mJetIn);
        const double b = mBreathFilter.process(mNoise.next() * breath);
        mJetIn = g * mFeedEmb + (b + 1.0) * mouth;
        const double j2 = j * j;
        const double jj = j * (1.0 - 4.0 * j2 + 2.675 * j2 * j2);
        double y = mLoopFilter1.process(g * mFeedBore + jj);
        if (mLoopOrder == 1) y = mLoopFilter2.process(y);
        // A loop that has blown up starts again from silence, before the value enters the
        // bore.
        if (!(std::fabs(y) <= kBlowUp)) {
            y = 0.0;
            clearLoop();
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
        if (mModel != 1)
            done = mFilterOn ? run<false, true>(out, n) : run<false, false>(out, n);
        else
            done = mFilterOn ? run<true, true>(out, n) : run<true, false>(out, n);
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
template <bool kFlute, bool kFilter> int tFluteVoice::run(double* out, int n) {
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
    auto clearLoopLocals = [&]() {
        loopY = 0.0;
        loop2Y = 0.0;
        jetIn = 0.0;
        loopOut = 0.0;
        dcBlocker.reset();
        clearDelays();
        ++mLoopResets;
    };

    // One sample for the given envelope values and breath amplitude.
    auto tick = [&](double pEnv, double aEnv, double breath) __attribute__((always_inline)) {
        const double t = tremolo.next();
        const double d = drift.next();
        const double mouth = d * driftDepth + tremoloDepth * t + pEnv;

        double sample;
        if constexpr (!kFlute) {
            breathY = breathB0 * (noise.next() * breath) + breathA1 * breathY;
            const double b = breathY;
            const double x = mBore.output();
            const double x2 = x * x;
            const double v =
                -1.5 * feedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) + 0.2 * (b + mouth);
            loopY = loopB0 * v + loopA1 * loopY;
            double y = loopY;
            if (!(std::fabs(y) <= kBlowUp)) {
                y = 0.0;
                clearLoopLocals();
            }
            mBore.write(y);
            sample = dcBlocker.process(y) * aEnv;
        } else {
            const double x = mBore.output();
            const double g = (1.0 - 0.5 * x * x) * x;
            mBore.write(loopOut);
            const double j = mJet.output();
            mJet.write(jetIn);
            breathY = breathB0 * (noise.next() * breath) + breathA1 * breathY;
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
                clearLoopLocals();
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
