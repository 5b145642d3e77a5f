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
    if (!(x == mCutoffSetting && mFollowNote == mCutoffFollow)) {
        mCutoff =
            mFollowNote ? std::pow(2.0, x - 1.0) : std::pow(2.0, x - 1.0) * kReferenceRate / 512.0;
        mCutoffSetting = x;
        mCutoffFollow = mFollowNote;
    }
    if (mSounding) updateCutoff();
}

void tFluteVoice::setResonance(double resonance) {
    if (resonance == mResonance) return;
    mOutputFilter.setResonance(resonance);
    mResonance = resonance;
    mFilterDesigned = false;
}

void tFluteVoice::updateCutoff() {
    const double cutoff = mFollowNote ? mFrequency * mCutoff : mCutoff;
    if (mFilterDesigned && cutoff == mDesignedCutoff) return;
    mOutputFilter.setFrequency(cutoff);
    mDesignedCutoff = cutoff;
    mFilterDesigned = true;
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

void tFluteVoice::glideJet() {
    mJetRatio += mGlideStep;
    setJetDelay();
    --mGlideLeft;
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

// The block form of process(), in chunks of two passes: first what blows into the loop
// (envelopes, drift, tremolo and breath noise), which does not depend on the loop, then the
// loop itself with the breath filter and the output stage. Each pass holds its state in
// locals, the delay lines' included, so the compiler keeps it in registers. Every expression
// is the one process() evaluates, in the same order, so the samples are the same to the last
// bit.
template <bool kFlute, bool kFilter, bool kReference> int tFluteVoice::run(double* out, int n) {
    const int start = mCount;
    const int limit = start < mEnd ? std::min(n, mEnd - start) : 0;
    if (limit <= 0) return 0;

    // The clarinet never changes loopOut, so its guard acts once for the whole block.
    if constexpr (!kFlute) {
        if (!(std::fabs(mLoopOut) <= kBlowUp)) {
            mLoopOut = 0.0;
            ++mLoopResets;
        }
    }

    double mouth[kChunk];
    double breathIn[kChunk];
    double amplitude[kChunk];
    int glideLag[kChunk];
    double glideC[kChunk];
    for (int i = 0; i < limit;) {
        const int m = std::min(kChunk, limit - i);
        const int count = start + i;
        excite<kReference>(mouth, breathIn, amplitude, count, m);
        // A jet that glides is set again after every sample; the rest of the chunk runs without.
        int j = 0;
        if (mGlideLeft > 0) {
            j = std::min(m, mGlideLeft);
            if constexpr (kFlute) {
                // The taps the jet takes: a sample reads through the one the step before set.
                for (int k = 0; k < j; ++k) {
                    glideLag[k] = mJet.lag();
                    glideC[k] = mJet.coefficient();
                    glideJet();
                }
                resonate<true, kFilter, kReference, true>(mouth, breathIn, amplitude, glideLag,
                                                          glideC, out + i, count, j);
            } else {
                // The clarinet's loop does not pass through the jet: its steps need not take
                // turns with the loop's samples.
                for (int k = 0; k < j; ++k) glideJet();
                j = 0;
            }
        }
        if (j < m)
            resonate<kFlute, kFilter, kReference, false>(mouth + j, breathIn + j, amplitude + j,
                                                         nullptr, nullptr, out + i + j, count + j,
                                                         m - j);
        i += m;
    }
    mCount = start + limit;
    return limit;
}

template <bool kReference>
void tFluteVoice::excite(double* __restrict mouth, double* __restrict breathIn,
                         double* __restrict amplitude, int count, int m) {
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

    // The drift and the noise for each sample, the tremolo as a block.
    double driftValues[kChunk];
    double noiseValues[kChunk];
    double tremoloValues[kChunk];
    mTremolo.nextBlock(tremoloValues, m);
    tRandomRamp drift = mDrift;
    tWhiteNoise noise = mNoise;
    if constexpr (kReference) {
        // One value of each per sample. The drift draws its next target from the generator
        // the noise draws from, so it draws in its place among the noise's draws; between its
        // draws it is a straight line.
        for (int i = 0; i < m;) {
            const int run = std::min(m - i, drift.rampLeft());
            if (run == 0) {
                driftValues[i] = drift.next();
                noiseValues[i] = noise.next();
                ++i;
                continue;
            }
            drift.ramp(driftValues + i, run);
            noise.nextBlock(noiseValues + i, run);
            i += run;
        }
        mDriftValue = driftValues[m - 1];
        mNoiseValue = noiseValues[m - 1];
    } else {
        // Both advance on their 44100 Hz clock; a sample takes the values they gave last.
        const int rate = mRate;
        int clock = mClock;
        double driftValue = mDriftValue;
        double noiseValue = mNoiseValue;
        for (int i = 0; i < m; ++i) {
            clock += kReferenceRate;
            while (clock >= rate) {
                clock -= rate;
                driftValue = drift.next();
                noiseValue = noise.next();
            }
            driftValues[i] = driftValue;
            noiseValues[i] = noiseValue;
        }
        mClock = clock;
        mDriftValue = driftValue;
        mNoiseValue = noiseValue;
    }
    mDrift = drift;
    mNoise = noise;

    auto step = [&](int i, double pEnv, double aEnv, double breath) __attribute__((always_inline)) {
        mouth[i] = driftValues[i] * driftDepth + tremoloDepth * tremoloValues[i] + pEnv;
        breathIn[i] = noiseValues[i] * breath;
        amplitude[i] = aEnv;
    };
    int i = 0;
    while (i < m) {
        if (count >= attackLength && count >= breathLength && count <= releaseStart) {
            // Sustain: the envelopes hold and the breath boost is over.
            const int stop = std::min(m, i + (releaseStart - count) + 1);
            count += stop - i;
            for (; i + 1 < stop; i += 2) {
                step(i, pressure, level, breathLevel);
                step(i + 1, pressure, level, breathLevel);
            }
            if (i < stop) step(i++, pressure, level, breathLevel);
            continue;
        }
        const tEnvelopes env = EnvelopesAt(count, attackLength, releaseStart, end, breathLength,
                                           pressure, level, breathLevel, breathBoost);
        step(i, env.pressure, env.level, env.breath);
        ++i;
        ++count;
    }
}

template <bool kFlute, bool kFilter, bool kReference, bool kGlide>
void tFluteVoice::resonate(const double* mouth, const double* breathIn, const double* amplitude,
                           const int* glideLag, const double* glideC, double* out, int count,
                           int m) {
    const double breathB0 = mBreathFilter.b0();
    const double breathA1 = mBreathFilter.a1();
    const tPoleZero breathMatch = mBreathMatch;
    double breathY = mBreathFilter.y();
    double breathX1 = mBreathX1;
    const double feedEmb = mFeedEmb;
    const double feedBore = mFeedBore;
    const bool secondLoopFilter = mLoopOrder == 1;
    const double loopB0 = mLoopFilter1.b0();
    const double loopA1 = mLoopFilter1.a1();
    const double loop2B0 = mLoopFilter2.b0();
    const double loop2A1 = mLoopFilter2.a1();
    double loopY = mLoopFilter1.y();
    double loop2Y = mLoopFilter2.y();
    // Away from 44100 Hz the loss filters run as pole and zero.
    const tPoleZero loss1 = mLoss1;
    const tPoleZero loss2 = mLoss2;
    double loopX1 = mLoss1X1;
    double loop2X1 = mLoss2X1;
    double loopOut = mLoopOut;
    double jetIn = mJetIn;
    tDcBlocker dcBlocker = mDcBlocker;
    tLowPass2 outputFilter = mOutputFilter;
    // The delay lines' running state; the clarinet's loop leaves the jet alone.
    tDelayLine::tCursor bore = mBore.cursor();
    tFracDelay::tCursor jet{};
    if constexpr (kFlute) jet = mJet.cursor();

    // The breath filter's output for sample i.
    auto breathe = [&](int i) __attribute__((always_inline)) {
        if constexpr (kReference) {
            breathY = breathB0 * breathIn[i] + breathA1 * breathY;
        } else {
            const double nx = breathIn[i];
            breathY = breathMatch.g * (nx + breathMatch.q * breathX1) + breathMatch.p * breathY;
            breathX1 = nx;
        }
        return breathY;
    };

    // What clearLoop() does, for the state held in locals, with the lines' positions given.
    auto clearLoopLocals = [&](int at, int boreWrite, int boreRead, int jetWrite, int jetRead,
                               int jetWritten) {
        loopY = 0.0;
        loop2Y = 0.0;
        loopX1 = 0.0;
        loop2X1 = 0.0;
        jetIn = 0.0;
        loopOut = 0.0;
        dcBlocker.reset();
        bore.writeAt = boreWrite;
        bore.readAt = boreRead;
        mBore.setCursor(bore);
        mGuardCleared += mBore.clearRecent(at - mBoreClearedAt, 0.0);
        mBoreClearedAt = at;
        bore = mBore.cursor();
        if constexpr (kFlute) {
            jet.writeAt = jetWrite;
            jet.readAt = jetRead;
            jet.written = jetWritten;
            mJet.setCursor(jet);
        }
        mGuardCleared += mJet.clear(0.0);
        if constexpr (kFlute) jet = mJet.cursor();
        ++mLoopResets;
    };

    // A stretch of samples in which neither line's positions wrap around, so that each reads
    // and writes consecutive entries; the jet's reads take zero all through (kZero) or none.
    // Returns how many samples it produced: all of them, or up to a reset of the loop.
    auto stretch = [&](auto zero, int i, int n) __attribute__((always_inline)) {
        constexpr bool kZero = decltype(zero)::value;
        double* boreWrite = bore.buffer + bore.writeAt;
        const double* boreRead = bore.buffer + bore.readAt;
        double* jetWrite = jet.buffer + jet.writeAt;
        const double* jetRead = jet.buffer + jet.readAt;
        const double boreC = bore.c;
        const double jetC = jet.c;
        double boreY = bore.y;
        double boreX1 = bore.x1;
        double jetY = jet.y;
        double jetX1 = jet.x1;
        // The output stage for sample k of the stretch, the loop value y given.
        auto emit = [&](int k, double y) __attribute__((always_inline)) {
            double sample = dcBlocker.process(y) * amplitude[i + k];
            if constexpr (kFilter) sample = outputFilter.process(sample);
            out[i + k] = sample;
        };
        int k = 0;
        bool reset = false;
        for (; k < n; ++k) {
            if constexpr (!kFlute) {
                const double x = boreY;
                const double x2 = x * x;
                const double v = -1.5 * feedBore * (x * (1.0 - 4.0 * x2 + 2.675 * x2 * x2)) +
                                 0.2 * (breathe(i + k) + mouth[i + k]);
                if constexpr (kReference) {
                    loopY = loopB0 * v + loopA1 * loopY;
                } else {
                    loopY = loss1.g * (v + loss1.q * loopX1) + loss1.p * loopY;
                    loopX1 = v;
                }
                const double y = loopY;
                // A loop that has blown up starts again from silence, before the value enters
                // the bore; the stretch ends there.
                if (!(std::fabs(y) <= kBlowUp)) [[unlikely]] {
                    bore.y = boreY;
                    bore.x1 = boreX1;
                    clearLoopLocals(count + i + k, bore.writeAt + k, bore.readAt + k, 0, 0, 0);
                    boreWrite[k] = 0.0;
                    const double a = boreRead[k];
                    boreY = bore.c * (a - bore.y) + bore.x1;
                    boreX1 = a;
                    emit(k, 0.0);
                    ++k;
                    reset = true;
                    break;
                }
                boreWrite[k] = y;
                const double a = boreRead[k];
                boreY = boreC * (a - boreY) + boreX1;
                boreX1 = a;
                emit(k, y);
            } else {
                const double x = boreY;
                const double g = (1.0 - 0.5 * x * x) * x;
                boreWrite[k] = loopOut;
                const double a = boreRead[k];
                boreY = boreC * (a - boreY) + boreX1;
                boreX1 = a;
                const double j = jetY;
                jetWrite[k] = jetIn;
                if constexpr (kGlide) {
                    // The tap moves at every sample; reads before the last clear take zero.
                    const int lag = glideLag[i + k];
                    int at = jet.writeAt + k - lag;
                    if (at < 0) at += jet.size;
                    const double stored = jet.buffer[at];
                    const double aj = lag <= jet.written + k ? stored : 0.0;
                    jetY = glideC[i + k] * (aj - jetY) + jetX1;
                    jetX1 = aj;
                } else {
                    const double aj = kZero ? 0.0 : jetRead[k];
                    jetY = jetC * (aj - jetY) + jetX1;
                    jetX1 = aj;
                }
                jetIn = g * feedEmb + (breathe(i + k) + 1.0) * mouth[i + k];
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
                // A loop that has blown up starts again from silence, before the value enters
                // the bore; the stretch ends there.
                if (!(std::fabs(y) <= kBlowUp)) [[unlikely]] {
                    // The lines' positions after this sample's writes.
                    const int boreAt = bore.writeAt + k + 1;
                    const int boreFrom = bore.readAt + k + 1;
                    const int jetAt = jet.writeAt + k + 1;
                    const int jetFrom = jet.readAt + k + 1;
                    clearLoopLocals(count + i + k, boreAt < bore.length ? boreAt : 0,
                                    boreFrom < bore.length ? boreFrom : 0,
                                    jetAt < jet.size ? jetAt : 0, jetFrom < jet.size ? jetFrom : 0,
                                    std::min(jet.written + k + 1, jet.size));
                    boreY = bore.y;
                    boreX1 = bore.x1;
                    jetY = jet.y;
                    jetX1 = jet.x1;
                    emit(k, 0.0);
                    ++k;
                    reset = true;
                    break;
                }
                loopOut = y;
                emit(k, y);
            }
        }
        bore.y = boreY;
        bore.x1 = boreX1;
        jet.y = jetY;
        jet.x1 = jetX1;
        // The positions move on by the samples done (a reset has set them already).
        if (!reset) {
            bore.writeAt = bore.writeAt + k < bore.length ? bore.writeAt + k : 0;
            bore.readAt = bore.readAt + k < bore.length ? bore.readAt + k : 0;
            if constexpr (kFlute) {
                jet.writeAt = jet.writeAt + k < jet.size ? jet.writeAt + k : 0;
                jet.readAt = jet.readAt + k < jet.size ? jet.readAt + k : 0;
                jet.written = std::min(jet.written + k, jet.size);
            }
        } else if constexpr (!kFlute) {
            // The clarinet's reset came before the sample's write.
            bore.writeAt = bore.writeAt + 1 < bore.length ? bore.writeAt + 1 : 0;
            bore.readAt = bore.readAt + 1 < bore.length ? bore.readAt + 1 : 0;
        }
        if constexpr (kGlide) {
            // The jet has moved to its last tap already: its read position follows from it.
            jet.readAt = jet.writeAt - jet.lag < 0 ? jet.writeAt - jet.lag + jet.size
                                                   : jet.writeAt - jet.lag;
        }
        return k;
    };

    for (int i = 0; i < m;) {
        int n = std::min({m - i, bore.length - bore.writeAt, bore.length - bore.readAt});
        bool zero = false;
        if constexpr (kFlute) {
            n = std::min(n, jet.size - jet.writeAt);
            if constexpr (!kGlide) {
                n = std::min(n, jet.size - jet.readAt);
                zero = jet.written < jet.lag;
                if (zero) n = std::min(n, jet.lag - jet.written);
            }
        }
        i += zero ? stretch(std::true_type{}, i, n) : stretch(std::false_type{}, i, n);
    }

    mBore.setCursor(bore);
    if constexpr (kFlute) mJet.setCursor(jet);
    mDcBlocker = dcBlocker;
    if constexpr (kFilter) mOutputFilter = outputFilter;
    mLoopOut = loopOut;
    mJetIn = jetIn;
    mLoopFilter1.setY(loopY);
    mLoopFilter2.setY(loop2Y);
    mLoss1X1 = loopX1;
    mLoss2X1 = loop2X1;
    mBreathFilter.setY(breathY);
    mBreathX1 = breathX1;
}
