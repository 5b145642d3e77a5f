#include "string/StringVoice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace {

// Note-off time and release end of a held note: about 1000 s at 44100.
constexpr int kHeld = 44000000;
// Samples between output-envelope steps, filter-attack steps and tremolo updates.
constexpr int kEnvelopeInterval = 4;
constexpr int kAttackInterval = 50;
constexpr int kLfoInterval = 20;
// Beyond these the string's loop (a feedback above 1 makes it grow) or its output filter (its
// state can pump itself up when fast cutoff jumps meet a high resonance) has run away and
// starts again from rest. Ordinary play stays far below both.
constexpr double kLoopBound = 100.0;
constexpr double kOutputFilterBound = 10000.0;

} // namespace

tStringVoice::tStringVoice()
    : mPulseBipolar(tPulseTable::Bipolar), mPulseUnipolar(tPulseTable::Unipolar) {
    for (tOnePole& pole : mLoop) pole.setup(mRate, 6.0);
    mRandomFilter.setup(mRate, 2.5);
    mWhite.setup(2.0, 1.0);
    mPinkNoise.reset();
    mLowPass2.setType(1);
    mLowPass3.setType(1);
    mLowPass4.setType(1);
    mLowPass2.setResonance(1.0);
    mLowPass3.setResonance(1.0);
    mLowPass4.setResonance(1.0);
    mDcBlocker.setCoefficient(0.995);
    setSampleRate(44100);
}

void tStringVoice::setSampleRate(int rate) {
    mRate = rate;
    mState = kIdle;
    for (tOnePole& pole : mLoop) pole.setup(rate, pole.value());
    mRandomFilter.setup(rate, mRandomFilter.value());
    mLowPass1.setSampleRate(rate);
    mLowPass2.setSampleRate(rate);
    mLowPass3.setSampleRate(rate);
    mLowPass4.setSampleRate(rate);
    mDesignedSlope = -1;
}

void tStringVoice::setOrder(int order) {
    mOrder = order < 1 ? 1 : (order > 4 ? 4 : order);
}

void tStringVoice::setLoopFrequency(double value) {
    mLoopValue = value;
    for (int i = 0; i < mOrder; ++i) mLoop[i].setup(mRate, value);
    if (mState != kIdle) updateLoopFilters();
}

void tStringVoice::setLoopMax(double ceiling) {
    for (int i = 0; i < mOrder; ++i) mLoop[i].setCeiling(ceiling);
}

void tStringVoice::setLoopFollow(int mode) {
    for (tOnePole& pole : mLoop) pole.setMode(mode);
}

void tStringVoice::setOffDelay(double periods) {
    if (mState == kIdle) mOffDelay = periods;
}

void tStringVoice::setRandomFrequency(double value) {
    mRandomFilter.setup(mRate, value);
}

void tStringVoice::setVolume(double volume) {
    mVolume = mState != kIdle ? correctedVolume(volume) : volume;
}

double tStringVoice::correctedVolume(double volume) const {
    if (mBassBoost) volume = volume * std::sqrt(220.0 / (mFreq + 10.0));
    if (mEnvMode < 4) volume = volume * mVelocity;
    if (mWaveType == kPiano2 || mWaveType == kMetal) volume = volume * 0.5;
    return volume;
}

void tStringVoice::setOutputKind(int kind) {
    if (kind == mKind) return; // the filters hold these poles already
    mKind = kind;
    mLowPass2.setType(kind);
    mLowPass3.setType(kind);
    mLowPass4.setType(kind);
    mDesignedSlope = -1;
}

void tStringVoice::setResonance(double resonance) {
    if (resonance == mResonance) return; // the filters hold this resonance already
    mResonance = resonance;
    mLowPass2.setResonance(resonance);
    mLowPass3.setResonance(resonance);
    mLowPass4.setResonance(0.7 * resonance);
    mDesignedSlope = -1;
}

void tStringVoice::setCutoff(double octaves, int frames) {
    if (octaves < 0.0) octaves = 0.0;
    if (octaves > 10.0) octaves = 10.0;
    double cutoff = std::pow(2.0, octaves - 1.0);
    if (mFollow == 0) cutoff = cutoff * mRate * 0.001953125;
    if (frames == 0) {
        mBaseCutoff = cutoff;
        mGlideSteps = 0;
        return;
    }
    if (cutoff == mBaseCutoff) return;
    mGlideSteps = frames / 4;
    if (mGlideSteps == 0) return; // too short a block to glide in
    mGlideStep = (cutoff - mBaseCutoff) / mGlideSteps;
    if (std::fabs(mGlideStep) < 0.01) mGlideSteps = 0;
}

void tStringVoice::setEnvelope(double amount, double speed, int release, int sustain) {
    mEnvAmount = 4.0 * amount;
    mEnvReleaseFactor = std::log(release + 1.0) * 0.0005428622090334018 + 0.995;
    mSustainSamples = sustain < 10000 ? 2 * sustain : 440000000;
    mEnvSpeed = 1.000001 + 0.07 * (speed * speed * speed);
}

void tStringVoice::setLfoAmount(double amount) {
    mLfoAmount = amount;
    mLfoOn = amount != 0.0;
}

void tStringVoice::updateLoopFilters() {
    const double f = mFreq;
    switch (mOrder) {
    case 1:
        mLoop[0].update(f);
        break;
    case 2:
        mLoop[0].update(f);
        mLoop[1].update(f);
        break;
    case 3:
        mLoop[0].update(1.396 * f);
        mLoop[1].update(0.399 * f);
        mLoop[2].update(1.96 * f);
        break;
    default:
        mLoop[0].update(1.41 * f);
        mLoop[1].update(0.557 * f);
        mLoop[2].update(2.41 * f);
        mLoop[3].update(0.55 * f);
        break;
    }
}

void tStringVoice::noteOn(double freq, double attack, int note) {
    constexpr int kLargeBudget = 1 << 24;
    startNote(freq, attack, note);
    while (mState == kPreparing) prepare(kLargeBudget);
}

void tStringVoice::startNote(double freq, double attack, int note) {
    // 1-3: period and times
    mFreq = freq;
    mNote = note;
    mState = kIdle;
    const double d = mRate / freq;
    mPeriod = static_cast<int>(std::floor(d + 0.5));
    // Soft damping acts when the audible time is a multiple of the interval, so an interval
    // of a negative number of periods (soft damp. above 21 from a patch) acts as its
    // magnitude; one too long to count never comes round again.
    const long long softDamp = std::llabs(static_cast<long long>(mSoftDampPeriods)) * mPeriod;
    mSoftDamp = static_cast<int>(std::min<long long>(softDamp, std::numeric_limits<int>::max()));
    if (mRelease < mPeriod) mRelease = mRelease + mPeriod;
    mSilence = static_cast<int>(std::floor(mSilencePeriods * d + 0.5));
    mNoteOffTime = kHeld;
    mReleaseEnd = kHeld;
    mEndTime = kHeld + mSilence;

    // 4-5: attack ramp, filter attack, off delay
    if (freq <= 440.0) {
        mAttack = static_cast<int>(d * attack);
    } else {
        mAttack = static_cast<int>(d * attack * 4.0 * std::sqrt(freq * (1.0 / 440.0)));
    }
    mAttackTarget = mLoopValue;
    mFilterAttackCount = mFixedTime ? static_cast<int>(50.0 * mFilterAttack)
                                    : static_cast<int>(mPeriod * mFilterAttack);
    mOffDelayCount = static_cast<int>(std::floor(mOffDelay * d + 0.5));

    // 6: tremolo
    if (mLfoOn) {
        mLfo.setFrequency(mRate, 20.0 * mLfoFrequency);
        mLfo.reset();
    }
    mLfoFactor = 1.0;

    // 7-8: the string's length and the excitation's filter. Clearing the string and writing
    // the burst into it are left to prepare(); nothing below touches the string, the noise or
    // the excitation's waves, so the sound is the same as if they were done here.
    mDelay.setLength(d, note);
    mRandomFilter.update(freq);
    mRandomFilter.clear();

    // 10: volume corrections
    if (mWaveType > kPiano) {
        mSampled.setFrequency(mRate, freq);
        mSampled.reset();
    }
    mVolume = correctedVolume(mVolume);

    // 11: output filter and first envelope step
    mEnvLevel = 0.0;
    if (mSlope != 0 || mAmplEnv) {
        switch (mSlope) {
        case 1:
            mLowPass1.reset();
            break;
        case 2:
        case 3:
            mLowPass2.reset();
            break;
        case 4:
        case 5:
            mLowPass3.reset();
            break;
        case 6:
        case 7:
            mLowPass4.reset();
            break;
        default:
            break;
        }
        envelopeStep(mCount, mNow);
    }

    // 12: loop filters
    updateLoopFilters();
    for (tOnePole& pole : mLoop) pole.clear();
    mCount = 0;
    mBurstLength = mPeriod + (mWaveType == kRect ? 2 : 1);
    mPreparation = kClearString;
    mReleasePending = false;
    mState = kPreparing;
}

namespace {

// Work units of the preparation, about one loop sample each: clearing the string costs one
// unit per this many values, and a filter-attack step that recomputes the loop filters costs
// this many units.
constexpr int kClearValuesPerUnit = 16;
constexpr int kAttackStepUnits = 32;

} // namespace

int tStringVoice::prepare(int budget) {
    int used = 0;
    // A voice whose preparation is done starts to sound even when no budget is left.
    while (mState == kPreparing && (used < budget || mPreparation == kPrepared)) {
        switch (mPreparation) {
        case kClearString:
            used += clearStep(budget - used);
            break;
        case kWriteBurst:
            used += burstStep(budget - used);
            break;
        case kPreRoll:
            used += preRollStep(budget - used);
            break;
        case kPrepared:
            startSounding();
            break;
        }
    }
    return used;
}

// 7: the string is cleared in one go: even the longest is cheap next to its burst.
int tStringVoice::clearStep(int /*budget*/) {
    mDelay.clear(0.0);
    mBurstWritten = 0;
    mPreparation = kWriteBurst;
    switch (mWaveType) {
    case kSin:
        mSine.setFrequency(mRate, mFreq);
        mSine.reset();
        break;
    case kRect:
    case kCRect:
        mRect.setFrequency(mRate, mFreq);
        break;
    case kSaw:
    case kCSaw:
        mSaw.setFrequency(mRate, mFreq);
        break;
    case kTri:
    case kCTri:
        mTri.setFrequency(mRate, mFreq);
        break;
    case kPiano:
    case kPiano2:
    case kMetal:
        mPulseUnipolar.setFrequency(mRate, mFreq);
        mPulseUnipolar.reset();
        mPulseBipolar.setFrequency(mRate, mFreq);
        mPulseBipolar.reset();
        break;
    case kSawRes:
        mSawRes.setFrequency(mRate, mFreq);
        mSawRes.reset();
        break;
    default:
        break;
    }
    return 1 + mDelay.length() / kClearValuesPerUnit;
}

// 9: the burst, as many samples as the budget allows; the excitation filter's state is kept
// in the filter between the parts.
int tStringVoice::burstStep(int budget) {
    tNoiseSource* noise = mPink ? static_cast<tNoiseSource*>(&mPinkNoise) : &mWhite;
    const int samples = std::min(mBurstLength - mBurstWritten, budget);
    const double w = mWaveAmount;
    const double b0 = mRandomFilter.b0();
    const double a1 = mRandomFilter.a1();
    double y = mRandomFilter.y();
    auto random = [&](double x) { return y = b0 * x + a1 * y; };

    for (int i = 0; i < samples; ++i) {
        const double z = noise->next();
        double x;
        switch (mWaveType) {
        case kSin:
            x = (1.0 - w) * random(z) + w * mSine.next();
            break;
        case kRect:
            x = random((1.0 - w) * z + w * mRect.next());
            break;
        case kSaw:
            x = random((1.0 - w) * z + w * mSaw.next());
            break;
        case kTri:
            x = random((1.0 - w) * z + w * mTri.next());
            break;
        case kCRect:
            x = random((1.0 - w) * z) + w * mRect.next();
            break;
        case kCSaw:
            x = random((1.0 - w) * z) + w * mSaw.next();
            break;
        case kCTri:
            x = random((1.0 - w) * z) + w * mTri.next();
            break;
        case kPiano:
        case kPiano2:
        case kMetal: {
            const double u = mPulseUnipolar.next();
            const double b = mPulseBipolar.next();
            x = random((1.0 + mVelocity) * (1.0 - w) * z * u) + w * b;
            break;
        }
        case kSawRes:
            x = random((1.0 - w) * z + w * mSawRes.next());
            break;
        default:
            x = random(z);
            break;
        }
        mDelay.write(x);
    }
    mRandomFilter.setY(y);
    mBurstWritten += samples;
    if (mBurstWritten == mBurstLength) mPreparation = mSilencePeriods != 0 ? kPreRoll : kPrepared;
    return samples;
}

// 13: the pre-roll, the string sounding unheard for the silence periods, as far as the budget
// allows; the count says how far it has come.
int tStringVoice::preRollStep(int budget) {
    int used = 0;
    while (mCount < mSilence && used < budget) {
        if (mOffDelayCount != 0 && mSoftDamp == 0 && mCount >= mOffDelayCount) {
            mFeedback = mOffFeedback;
        }
        loopSample();
        if (attackStep(mCount)) used += kAttackStepUnits;
        // Soft damping keeps its pace in the unheard part, counted from note on.
        if (mSoftDamp != 0 && mCount % mSoftDamp == 0) softDampStep();
        ++mCount;
        ++used;
    }
    if (mCount >= mSilence) mPreparation = kPrepared;
    return used;
}

// 14: ready to sound.
void tStringVoice::startSounding() {
    mAmplFactor = (mAmplEnv && mEnvMode != 0) ? 0.0 : 1.0;
    mEnvLevel = mEnvSpeed >= 1.07 ? 1.0 : 0.0;
    mEnvPhase = 0;
    mNow = 0;
    mState = kSounding;
    if (mReleasePending) {
        mReleasePending = false;
        noteOff();
    }
}

double tStringVoice::loopSample() {
    double x = mDelay.output();
    if (mModulation) x = -x;
    if (mWaveType == kPiano2) x = x + mSampled.nextA();
    if (mWaveType == kMetal) x = x + mSampled.nextB();
    for (int i = 0; i < mOrder; ++i) x = mLoop[i].process(x);
    double e = x * mFeedback;
    if (!(std::fabs(e) <= kLoopBound)) { // also NaN
        clearLoop();
        e = 0.0;
    }
    mDelay.write(e);
    return e;
}

void tStringVoice::clearLoop() {
    mDelay.clear(0.0);
    for (tOnePole& pole : mLoop) pole.clear();
}

int tStringVoice::nextAttackStep(int count) const {
    const int fa = mFilterAttackCount;
    if (fa == 0 || count > fa) return kNever;
    const int step = (count + kAttackInterval - 1) / kAttackInterval * kAttackInterval;
    return step < fa ? step : fa;
}

bool tStringVoice::attackStep(int count) {
    const int fa = mFilterAttackCount;
    if (fa == 0 || count > fa) return false;
    double value;
    if (count == fa) {
        value = mAttackTarget;
    } else if (count % kAttackInterval == 0) {
        value = mStartValue + (mAttackTarget - mStartValue) * count / fa;
    } else {
        return false;
    }
    for (int i = 0; i < mOrder; ++i) mLoop[i].setup(mRate, value);
    if (mState != kIdle) updateLoopFilters();
    return true;
}

void tStringVoice::softDampStep() {
    mFeedback = std::sqrt(mFeedback);
    if (mOffDelayCount != 0 && mFeedback > mOffFeedback) mFeedback = mOffFeedback;
}

void tStringVoice::envelopeStep(int count, int now) {
    double c = mBaseCutoff;
    if (mEnvMode != 0 && count >= mSilence) {
        double k = 1.0;
        double speed = mEnvSpeed;
        switch (mEnvMode) {
        case 2: // accent
        case 4: // ampl.
            k = mVelocity;
            break;
        case 3: // acc.inv
        case 5: // a. inv
            k = 1.0 - mVelocity;
            break;
        case 6: // speed
            speed = speed + 0.01 * (mVelocity * mVelocity);
            break;
        case 7: // s. inv
            speed = speed + 0.01 * (1.0 - mVelocity * mVelocity);
            break;
        default:
            break;
        }
        if (mEnvPhase == 0) {
            mEnvLevel = mEnvLevel * speed + 0.00003;
            if (mEnvLevel >= 1.0) {
                mEnvLevel = 1.0;
                mEnvPhase = 1;
                mSustainEnd = mSustainSamples + now;
            }
        } else {
            mEnvLevel = mEnvLevel * 0.99995;
            if (now > mSustainEnd) mEnvLevel = mEnvLevel * mEnvReleaseFactor;
        }
        c = mBaseCutoff + mEnvLevel * (mFollow != 0 ? 5.0 * k : 500.0 * k) * mEnvAmount;
        if (mAmplEnv) mAmplFactor = mEnvLevel;
    }
    if (mFollow == 2) c = c * std::sqrt(880.0 / mFreq);
    if (mFollow != 0) c = c * mFreq;
    setOutputCutoff(c);
}

void tStringVoice::setOutputCutoff(double hz) {
    // The same cutoff with the same type and resonance gives the same coefficients: the
    // filter already has them.
    if (mSlope == mDesignedSlope && hz == mDesignedCutoff) return;
    mDesignedSlope = mSlope;
    mDesignedCutoff = hz;
    switch (mSlope) {
    case 1:
        mLowPass1.setFrequency(hz);
        break;
    case 2:
    case 3:
        mLowPass2.setFrequency(hz);
        break;
    case 4:
    case 5:
        mLowPass3.setFrequency(hz);
        break;
    case 6:
    case 7:
        mLowPass4.setFrequency(hz);
        break;
    default:
        break;
    }
}

double tStringVoice::outputStage(double e) {
    double y = e;
    switch (mSlope) {
    case 1:
        y = mLowPass1.process(e);
        break;
    case 2:
        y = mLowPass2.process(e);
        break;
    case 3:
        y = mLowPass2.process(e) + 0.5 * e;
        break;
    case 4:
        y = mLowPass3.process(e);
        break;
    case 5:
        y = mLowPass3.process(e) + 0.5 * e;
        break;
    case 6:
        y = mLowPass4.process(e);
        break;
    case 7:
        y = mLowPass4.process(e) + 0.5 * e;
        break;
    default:
        break;
    }
    if (!(std::fabs(y) <= kOutputFilterBound)) { // also NaN
        clearOutputFilters();
        y = 0.0;
    }
    if (mDcFilter) y = mDcBlocker.process(y);
    return y;
}

void tStringVoice::clearOutputFilters() {
    mLowPass1.reset();
    mLowPass2.reset();
    mLowPass3.reset();
    mLowPass4.reset();
}

void tStringVoice::noteOff() {
    if (mState == kIdle) return;
    if (mState == kPreparing) {
        mReleasePending = true;
        return;
    }
    mNoteOffTime = mNow;
    mReleaseEnd = mNow + mRelease;
    mEndTime = mReleaseEnd + mSilence;
}

double tStringVoice::tick() {
    if (mCount > mEndTime) {
        mState = kIdle;
        return 0.0;
    }
    if (mOffDelayCount != 0 && mSoftDamp == 0 && mCount == mOffDelayCount) {
        mFeedback = mOffFeedback;
    }
    double e = loopSample();
    attackStep(mCount);

    double g;
    if (mCount < mSilence) {
        g = mVolume;
    } else if (mNow < mAttack) {
        g = mVolume * mNow / mAttack;
    } else if (mNow > mNoteOffTime) {
        g = mVolume * (mReleaseEnd - mNow) / (mReleaseEnd - mNoteOffTime);
    } else {
        g = mVolume;
    }

    if (mSoftDamp != 0 && mNow % mSoftDamp == 0) softDampStep();

    if ((mSlope != 0 || mAmplEnv || mGlideSteps != 0) && (mNow + 1) % kEnvelopeInterval == 0) {
        if (mGlideSteps != 0) {
            mBaseCutoff += mGlideStep;
            --mGlideSteps;
        }
        envelopeStep(mCount, mNow);
    }
    e = outputStage(e);

    ++mCount;
    ++mNow;
    double result = e * g * mAmplFactor;
    if (mLfoOn) {
        if (mNow % kLfoInterval == 0) mLfoFactor = 1.0 + mLfoAmount * mLfo.next();
        result = result * mLfoFactor;
    }
    return result;
}

void tStringVoice::render(double* out, int frames, int channels, double left, double right,
                          bool add) {
    if (channels == 2) {
        renderBlock<2>(out, frames, left, right, add);
    } else {
        renderBlock<1>(out, frames, left, right, add);
    }
}

namespace {

template <int kChannels>
inline void Put(double* out, int i, double sample, double left, double right, bool add) {
    if constexpr (kChannels == 1) {
        if (add) {
            out[i] += sample;
        } else {
            out[i] = sample;
        }
    } else {
        if (add) {
            out[2 * i] += left * sample;
            out[2 * i + 1] += right * sample;
        } else {
            out[2 * i] = left * sample;
            out[2 * i + 1] = right * sample;
        }
    }
}

} // namespace

// A block is cut into runs of samples on which no rare work falls (filter attack, soft damp,
// the end of the voice) and single samples that carry it. A run is computed with the voice
// state in locals; the single samples go through tick(). Both compute exactly what tick()
// computes.
template <int kChannels>
void tStringVoice::renderBlock(double* out, int frames, double left, double right, bool add) {
    int i = 0;
    while (i < frames && mState == kSounding) {
        const int run = quietRun(frames - i);
        if (run == 0) {
            Put<kChannels>(out, i, tick(), left, right, add);
            ++i;
            continue;
        }
        double* at = out + i * kChannels;
        if (envelopeActs()) {
            runFiltered<kChannels, true>(at, run, left, right, add);
        } else {
            runFiltered<kChannels, false>(at, run, left, right, add);
        }
        i += run;
    }
    // A voice that ended in this block gives silence for the rest of it.
    for (; i < frames; ++i) Put<kChannels>(out, i, 0.0, left, right, add);
}

template <int kChannels, bool kEnvelope>
void tStringVoice::runFiltered(double* out, int frames, double left, double right, bool add) {
    switch (mSlope) {
    case 1:
        runQuiet<kChannels, kEnvelope>(out, frames, left, right, add, &mLowPass1);
        break;
    case 2:
    case 3:
        runQuiet<kChannels, kEnvelope>(out, frames, left, right, add, &mLowPass2);
        break;
    case 4:
    case 5:
        runQuiet<kChannels, kEnvelope>(out, frames, left, right, add, &mLowPass3);
        break;
    case 6:
    case 7:
        runQuiet<kChannels, kEnvelope>(out, frames, left, right, add, &mLowPass4);
        break;
    default:
        runQuiet<kChannels, kEnvelope, tNoFilter>(out, frames, left, right, add, nullptr);
        break;
    }
}

int tStringVoice::quietRun(int limit) const {
    if (mCount > mEndTime) return 0;
    int run = limit;
    auto limitTo = [&run](int n) {
        if (n < run) run = n;
    };
    limitTo(mEndTime - mCount + 1);
    const int attack = nextAttackStep(mCount);
    if (attack != kNever) limitTo(attack - mCount);
    if (mSoftDamp != 0) {
        const int phase = mNow % mSoftDamp;
        limitTo(phase == 0 ? 0 : mSoftDamp - phase);
    }
    return run;
}

bool tStringVoice::envelopeActs() const {
    if (mSlope == 0 && !mAmplEnv && mGlideSteps == 0) return false; // no step is taken
    if (mEnvMode != 0 || mGlideSteps != 0) return true;
    // Without an envelope or a glide a step only sets the cutoff again; when the filter was
    // designed for that very cutoff the step changes nothing.
    if (mSlope == 0) return false;
    double c = mBaseCutoff;
    if (mFollow == 2) c = c * std::sqrt(880.0 / mFreq);
    if (mFollow != 0) c = c * mFreq;
    return !(mSlope == mDesignedSlope && c == mDesignedCutoff);
}

// With kEnvelope the envelope steps are taken in the run and the output filter is used in
// place (the steps redesign it); without, the steps would change nothing and the filter is
// copied into a local for the run.
template <int kChannels, bool kEnvelope, class tOutputFilter>
void tStringVoice::runQuiet(double* out, int frames, double left, double right, bool add,
                            tOutputFilter* filter) {
    // The string is moved into a local for the run (no allocation), so that its positions
    // and allpass state can stay in registers instead of being reloaded after every store.
    tDelayLine delay(std::move(mDelay));
    std::optional<tOutputFilter> localFilter;
    tOutputFilter* outputFilter = filter;
    if constexpr (!kEnvelope) {
        if (filter != nullptr) outputFilter = &localFilter.emplace(*filter);
    }
    tDcBlocker dcBlocker = mDcBlocker;

    int count = mCount;
    int now = mNow;
    double feedback = mFeedback;
    const double offFeedback = mOffFeedback;
    const int offDelayAt = (mOffDelayCount != 0 && mSoftDamp == 0) ? mOffDelayCount : -1;
    const int order = mOrder;
    const int waveType = mWaveType;
    const bool modulation = mModulation != 0;
    const double volume = mVolume;
    const int silence = mSilence;
    const int attack = mAttack;
    const int noteOffTime = mNoteOffTime;
    const int releaseEnd = mReleaseEnd;
    const bool halfDry = mSlope == 3 || mSlope == 5 || mSlope == 7;
    const bool dcFilter = mDcFilter != 0;
    const bool outputStageOn = mSlope != 0 || dcFilter;
    const bool envelopeSteps = mSlope != 0 || mAmplEnv;
    const bool lfoOn = mLfoOn != 0;
    const double lfoAmount = mLfoAmount;
    double amplFactor = mAmplFactor;
    double lfoFactor = mLfoFactor;
    int envelopeIn = kEnvelopeInterval - 1 - now % kEnvelopeInterval;
    int lfoIn = kLfoInterval - 1 - now % kLfoInterval;
    const double b0a = mLoop[0].b0(), a1a = mLoop[0].a1();
    const double b0b = mLoop[1].b0(), a1b = mLoop[1].a1();
    const double b0c = mLoop[2].b0(), a1c = mLoop[2].a1();
    const double b0d = mLoop[3].b0(), a1d = mLoop[3].a1();
    double ya = mLoop[0].y(), yb = mLoop[1].y(), yc = mLoop[2].y(), yd = mLoop[3].y();

    for (int i = 0; i < frames; ++i) {
        if (count == offDelayAt) feedback = offFeedback;

        double x = delay.output();
        if (modulation) x = -x;
        if (waveType == kPiano2) x = x + mSampled.nextA();
        if (waveType == kMetal) x = x + mSampled.nextB();
        ya = b0a * x + a1a * ya;
        x = ya;
        if (order > 1) {
            yb = b0b * x + a1b * yb;
            x = yb;
            if (order > 2) {
                yc = b0c * x + a1c * yc;
                x = yc;
                if (order > 3) {
                    yd = b0d * x + a1d * yd;
                    x = yd;
                }
            }
        }
        double e = x * feedback;
        if (!(std::fabs(e) <= kLoopBound)) { // also NaN: the whole loop starts from rest
            delay.clear(0.0);
            ya = yb = yc = yd = 0.0;
            e = 0.0;
        }
        delay.write(e);

        double g;
        if (count < silence) {
            g = volume;
        } else if (now < attack) {
            g = volume * now / attack;
        } else if (now > noteOffTime) {
            g = volume * (releaseEnd - now) / (releaseEnd - noteOffTime);
        } else {
            g = volume;
        }

        if constexpr (kEnvelope) {
            if (envelopeIn == 0) {
                if (envelopeSteps || mGlideSteps != 0) {
                    if (mGlideSteps != 0) {
                        mBaseCutoff += mGlideStep;
                        --mGlideSteps;
                    }
                    envelopeStep(count, now);
                    amplFactor = mAmplFactor;
                }
                envelopeIn = kEnvelopeInterval;
            }
            --envelopeIn;
        }

        if (outputStageOn) {
            double y = e;
            if constexpr (!std::is_same_v<tOutputFilter, tNoFilter>) {
                y = outputFilter->process(e);
                if (halfDry) y = y + 0.5 * e;
                if (!(std::fabs(y) <= kOutputFilterBound)) { // also NaN
                    outputFilter->reset();
                    y = 0.0;
                }
            }
            if (dcFilter) y = dcBlocker.process(y);
            e = y;
        }

        ++count;
        ++now;
        double result = e * g * amplFactor;
        if (lfoOn) {
            if (lfoIn == 0) {
                lfoFactor = 1.0 + lfoAmount * mLfo.next();
                lfoIn = kLfoInterval;
            }
            --lfoIn;
            result = result * lfoFactor;
        }
        Put<kChannels>(out, i, result, left, right, add);
    }

    mDelay = std::move(delay);
    if (localFilter) *filter = *localFilter;
    mDcBlocker = dcBlocker;
    mLoop[0].setY(ya);
    mLoop[1].setY(yb);
    mLoop[2].setY(yc);
    mLoop[3].setY(yd);
    mCount = count;
    mNow = now;
    mFeedback = feedback;
    mLfoFactor = lfoFactor;
}
