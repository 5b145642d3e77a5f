#include "string/StringVoice.h"

#include "dsp/DelayTuning.h"
#include "dsp/SampleRate.h"
#include "string/StringTuning.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace {

// Note-off time and release end of a held note: about 1000 s.
constexpr double kHeldSeconds = 44000000.0 / kReferenceRate;
// The output envelope's constants per step at 44100 Hz.
constexpr double kRiseAdd = 0.00003;
constexpr double kFall = 0.99995;
// The string holds the period of the lowest MIDI note (8.18 Hz) at any rate.
constexpr double kLowestFrequency = 8.0;
// Samples at 44100 Hz between output-envelope steps, filter-attack steps and tremolo
// updates; at another rate the intervals keep about their length in time.
constexpr int kEnvelopeInterval = 4;
constexpr int kAttackInterval = 50;
constexpr int kLfoInterval = 20;

int IntervalAtRate(int samples, int rate) {
    return std::max(1, static_cast<int>(std::lround(samples * rateScale(rate))));
}
// Beyond these the string's loop (a feedback above 1 makes it grow) or its output filter (its
// state can pump itself up when fast cutoff jumps meet a high resonance) has run away and
// starts again from rest. Ordinary play stays far below both.
constexpr double kLoopBound = 100.0;
constexpr double kOutputFilterBound = 10000.0;

} // namespace

tStringVoice::tStringVoice()
    : mPulseBipolar(tPulseTable::Bipolar), mPulseUnipolar(tPulseTable::Unipolar) {
    for (tOnePole& pole : mLoop) pole.setup(kReferenceRate, 6.0);
    mRandomFilter.setup(kReferenceRate, 2.5);
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
    mHeld = static_cast<int>(std::floor(kHeldSeconds * rate + 0.5));
    mEnvelopeInterval = IntervalAtRate(kEnvelopeInterval, rate);
    mAttackInterval = IntervalAtRate(kAttackInterval, rate);
    mLfoInterval = IntervalAtRate(kLfoInterval, rate);
    const int longest = static_cast<int>(std::ceil(rate / kLowestFrequency)) + 4;
    if (longest > mDelay.size()) mDelay.resize(longest);
    const double dc = perSampleAtRate(0.995, rate);
    if (dc != mDcBlocker.coefficient()) mDcBlocker.setCoefficient(dc);
    // The loop filters are designed at 44100 Hz whatever the rate (see updateLoopFilters).
    for (tOnePole& pole : mLoop) pole.setup(kReferenceRate, pole.value());
    // The excitation is made at 44100 Hz whatever the rate (see burstStep).
    mRandomFilter.setup(kReferenceRate, mRandomFilter.value());
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
    for (int i = 0; i < mOrder; ++i) mLoop[i].setup(kReferenceRate, value);
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
    mRandomFilter.setup(kReferenceRate, value);
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
    if (mFollow == 0) cutoff = cutoff * kReferenceRate * 0.001953125; // hertz
    if (frames == 0) {
        mBaseCutoff = cutoff;
        mGlideSteps = 0;
        return;
    }
    if (cutoff == mBaseCutoff) return;
    mGlideSteps = frames / mEnvelopeInterval;
    if (mGlideSteps == 0) return; // too short a block to glide in
    mGlideStep = (cutoff - mBaseCutoff) / mGlideSteps;
    if (std::fabs(mGlideStep) < 0.01) mGlideSteps = 0;
}

void tStringVoice::setEnvelope(double amount, double speed, int release, int sustain) {
    mEnvAmount = 4.0 * amount;
    mEnvReleaseFactor = std::log(release + 1.0) * 0.0005428622090334018 + 0.995;
    // The sustain is given in samples at 44100 Hz; "never" stays beyond any note's end.
    mSustainSamples = sustain < 10000
                          ? static_cast<int>(std::floor(2.0 * sustain * rateScale(mRate) + 0.5))
                          : 440000000;
    mEnvSpeed = 1.000001 + 0.07 * (speed * speed * speed);
}

void tStringVoice::setLfoAmount(double amount) {
    mLfoAmount = amount;
    mLfoOn = amount != 0.0;
}

double tStringVoice::loopFilterFrequency(int i) const {
    static constexpr double kMultiple[4][4] = {
        {1.0}, {1.0, 1.0}, {1.396, 0.399, 1.96}, {1.41, 0.557, 2.41, 0.55}};
    return kMultiple[mOrder - 1][i] * mFreq;
}

void tStringVoice::updateLoopFilters() {
    for (int i = 0; i < mOrder; ++i) mLoop[i].update(loopFilterFrequency(i));
    if (mRate == kReferenceRate) return;
    for (int i = 0; i < mOrder; ++i) mSection[i].design(mLoop[i].a1(), mRate);
}

void tStringVoice::tuneLoop() {
    using namespace stringtuning;
    // The loop at 44100 Hz as setLength() builds it: whole samples from the write to the
    // output, the allpass of the note's tuning fraction, and the loop filters' coefficients.
    const double d = std::clamp(kReferenceRate / mFreq, 0.0, tDelayLine::kDefaultSize - 2.0);
    if (!(d > 0.0)) return;
    const int length = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    const int read = static_cast<int>(std::floor(length - d + 2.0)) % length;
    const int referenceWhole = (length - read) % length + 1;
    const double t = DelayTuning(mNote);
    const double c = (1.0 - t) / (1.0 + t);
    // Its lowest resonance: the frequency at which one pass delays by a whole cycle (half a
    // cycle when the loop inverts its signal).
    const double phase = mModulation ? M_PI : 2.0 * M_PI;
    double omega = phase / d;
    double delay = d;
    for (int k = 0; k < 8; ++k) {
        delay = referenceWhole + allpassDelay(c, omega);
        for (int i = 0; i < mOrder; ++i) delay += onePoleDelay(mLoop[i].a1(), omega);
        omega = phase / delay;
    }
    if (!(omega > 0.0 && omega < M_PI)) return;

    // At this rate the same frequency in hertz, one pass as long in seconds: the string takes
    // what the loop filters leave, in whole samples and an allpass designed at that frequency.
    const double scale = rateScale(mRate);
    omega = omega / scale;
    double wanted = delay * scale;
    for (int i = 0; i < mOrder; ++i) wanted -= mSection[i].delay(omega);
    const int whole = std::max(static_cast<int>(std::floor(wanted - 0.5)), 1);
    mDelay.setWholeLength(whole, allpassCoefficient(wanted - whole, omega));
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
    mNoteOffTime = mHeld;
    mReleaseEnd = mHeld;
    mEndTime = mHeld + mSilence;

    // 4-5: attack ramp, filter attack, off delay
    if (freq <= 440.0) {
        mAttack = static_cast<int>(d * attack);
    } else {
        mAttack = static_cast<int>(d * attack * 4.0 * std::sqrt(freq * (1.0 / 440.0)));
    }
    mAttackTarget = mLoopValue;
    // A fixed time is given in samples at 44100 Hz.
    mFilterAttackCount = mFixedTime ? static_cast<int>(50.0 * mFilterAttack * rateScale(mRate))
                                    : static_cast<int>(mPeriod * mFilterAttack);
    mOffDelayCount = static_cast<int>(std::floor(mOffDelay * d + 0.5));

    // 6: tremolo
    if (mLfoOn) {
        // One step of the oscillator per update: the tremolo has the "LFO freq." rate.
        mLfo.setFrequency(mRate, mLfoInterval * mLfoFrequency);
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
    prepareEnvelopeSteps();
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
    for (tLoopSection& section : mSection) section.clear();
    if (mRate != kReferenceRate) tuneLoop();
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
        mSine.setFrequency(kReferenceRate, mFreq);
        mSine.reset();
        break;
    case kRect:
    case kCRect:
        mRect.setFrequency(kReferenceRate, mFreq);
        break;
    case kSaw:
    case kCSaw:
        mSaw.setFrequency(kReferenceRate, mFreq);
        break;
    case kTri:
    case kCTri:
        mTri.setFrequency(kReferenceRate, mFreq);
        break;
    case kPiano:
    case kPiano2:
    case kMetal:
        mPulseUnipolar.setFrequency(kReferenceRate, mFreq);
        mPulseUnipolar.reset();
        mPulseBipolar.setFrequency(kReferenceRate, mFreq);
        mPulseBipolar.reset();
        break;
    case kSawRes:
        mSawRes.setFrequency(kReferenceRate, mFreq);
        mSawRes.reset();
        break;
    default:
        break;
    }
    return 1 + mDelay.length() / kClearValuesPerUnit;
}

// One sample of the excitation as it is written at 44100 Hz; y is the excitation filter's
// state.
double tStringVoice::burstSample(tNoiseSource& noise, double b0, double a1, double& y) {
    const double w = mWaveAmount;
    auto random = [&](double x) { return y = b0 * x + a1 * y; };
    const double z = noise.next();
    switch (mWaveType) {
    case kSin:
        return (1.0 - w) * random(z) + w * mSine.next();
    case kRect:
        return random((1.0 - w) * z + w * mRect.next());
    case kSaw:
        return random((1.0 - w) * z + w * mSaw.next());
    case kTri:
        return random((1.0 - w) * z + w * mTri.next());
    case kCRect:
        return random((1.0 - w) * z) + w * mRect.next();
    case kCSaw:
        return random((1.0 - w) * z) + w * mSaw.next();
    case kCTri:
        return random((1.0 - w) * z) + w * mTri.next();
    case kPiano:
    case kPiano2:
    case kMetal: {
        const double u = mPulseUnipolar.next();
        const double b = mPulseBipolar.next();
        return random((1.0 + mVelocity) * (1.0 - w) * z * u) + w * b;
    }
    case kSawRes:
        return random((1.0 - w) * z + w * mSawRes.next());
    default:
        return random(z);
    }
}

// 9: the burst, as many samples as the budget allows; the excitation filter's state is kept
// in the filter between the parts. The excitation is made at 44100 Hz (its noise, waves and
// filter are set up for that rate); at another rate it is read from there by cubic
// interpolation, so that the string starts from the same waveform in time.
int tStringVoice::burstStep(int budget) {
    tNoiseSource& noise = mPink ? static_cast<tNoiseSource&>(mPinkNoise) : mWhite;
    const int samples = std::min(mBurstLength - mBurstWritten, budget);
    const double b0 = mRandomFilter.b0();
    const double a1 = mRandomFilter.a1();
    double y = mRandomFilter.y();

    if (mRate == kReferenceRate) {
        for (int i = 0; i < samples; ++i) mDelay.write(burstSample(noise, b0, a1, y));
    } else {
        double* x = mBurstNear;
        if (mBurstWritten == 0) {
            // Before its first sample the excitation is silent.
            mBurstIndex = 0;
            x[0] = 0.0;
            for (int k = 1; k < 4; ++k) x[k] = burstSample(noise, b0, a1, y);
        }
        const double step = 1.0 / rateScale(mRate); // reference samples per sample
        for (int i = 0; i < samples; ++i) {
            const double at = (mBurstWritten + i) * step;
            while (at >= mBurstIndex + 1) {
                x[0] = x[1];
                x[1] = x[2];
                x[2] = x[3];
                x[3] = burstSample(noise, b0, a1, y);
                ++mBurstIndex;
            }
            // Cubic (Catmull-Rom) interpolation between x[1] and x[2].
            const double t = at - mBurstIndex;
            const double c1 = 0.5 * (x[2] - x[0]);
            const double c2 = x[0] - 2.5 * x[1] + 2.0 * x[2] - 0.5 * x[3];
            const double c3 = 0.5 * (x[3] - x[0]) + 1.5 * (x[1] - x[2]);
            mDelay.write(((c3 * t + c2) * t + c1) * t + x[1]);
        }
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
    if (mRate == kReferenceRate) {
        for (int i = 0; i < mOrder; ++i) x = mLoop[i].process(x);
    } else {
        for (int i = 0; i < mOrder; ++i) x = mSection[i].process(x);
    }
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
    for (tLoopSection& section : mSection) section.clear();
}

int tStringVoice::nextAttackStep(int count) const {
    const int fa = mFilterAttackCount;
    if (fa == 0 || count > fa) return kNever;
    const int step = (count + mAttackInterval - 1) / mAttackInterval * mAttackInterval;
    return step < fa ? step : fa;
}

bool tStringVoice::attackStep(int count) {
    const int fa = mFilterAttackCount;
    if (fa == 0 || count > fa) return false;
    double value;
    if (count == fa) {
        value = mAttackTarget;
    } else if (count % mAttackInterval == 0) {
        value = mStartValue + (mAttackTarget - mStartValue) * count / fa;
    } else {
        return false;
    }
    for (int i = 0; i < mOrder; ++i) mLoop[i].setup(kReferenceRate, value);
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
        switch (mEnvMode) {
        case 2: // accent
        case 4: // ampl.
            k = mVelocity;
            break;
        case 3: // acc.inv
        case 5: // a. inv
            k = 1.0 - mVelocity;
            break;
        default:
            break;
        }
        if (mEnvPhase == 0) {
            mEnvLevel = mEnvLevel * mRiseSpeed + mRiseAdd;
            if (mEnvLevel >= 1.0) {
                mEnvLevel = 1.0;
                mEnvPhase = 1;
                mSustainEnd = mSustainSamples + now;
            }
        } else {
            mEnvLevel = mEnvLevel * mFallFactor;
            if (now > mSustainEnd) mEnvLevel = mEnvLevel * mReleaseStep;
        }
        c = mBaseCutoff + mEnvLevel * (mFollow != 0 ? 5.0 * k : 500.0 * k) * mEnvAmount;
        if (mAmplEnv) mAmplFactor = mEnvLevel;
    }
    if (mFollow == 2) c = c * std::sqrt(880.0 / mFreq);
    if (mFollow != 0) c = c * mFreq;
    setOutputCutoff(c);
}

void tStringVoice::prepareEnvelopeSteps() {
    double speed = mEnvSpeed;
    if (mEnvMode == 6) speed = speed + 0.01 * (mVelocity * mVelocity);       // "speed"
    if (mEnvMode == 7) speed = speed + 0.01 * (1.0 - mVelocity * mVelocity); // "s. inv"
    mRiseSpeed = speed;
    mRiseAdd = kRiseAdd;
    mFallFactor = kFall;
    mReleaseStep = mEnvReleaseFactor;
    if (mRate == kReferenceRate) return;
    // A step at 44100 Hz spans n steps here. The rise level × s + a, taken n times as often,
    // becomes level × s^(1/n) + a·(s^(1/n) − 1) / (s − 1).
    const double n = rateScale(mRate) * kEnvelopeInterval / mEnvelopeInterval;
    const double grow = std::log1p(speed - 1.0);
    if (std::isfinite(grow) && grow > 1e-15) {
        const double step = std::expm1(grow / n);
        mRiseSpeed = 1.0 + step;
        mRiseAdd = kRiseAdd * step / (speed - 1.0);
    } else {
        mRiseSpeed = std::pow(speed, 1.0 / n);
        mRiseAdd = kRiseAdd / n;
    }
    mFallFactor = std::pow(kFall, 1.0 / n);
    mReleaseStep = std::pow(mEnvReleaseFactor, 1.0 / n);
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

    if ((mSlope != 0 || mAmplEnv || mGlideSteps != 0) && (mNow + 1) % mEnvelopeInterval == 0) {
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
        if (mNow % mLfoInterval == 0) mLfoFactor = 1.0 + mLfoAmount * mLfo.next();
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
        const bool envelope = envelopeActs();
        if (mRate == kReferenceRate) {
            if (envelope) {
                runFiltered<kChannels, true, false>(at, run, left, right, add);
            } else {
                runFiltered<kChannels, false, false>(at, run, left, right, add);
            }
        } else if (envelope) {
            runFiltered<kChannels, true, true>(at, run, left, right, add);
        } else {
            runFiltered<kChannels, false, true>(at, run, left, right, add);
        }
        i += run;
    }
    // A voice that ended in this block gives silence for the rest of it.
    for (; i < frames; ++i) Put<kChannels>(out, i, 0.0, left, right, add);
}

template <int kChannels, bool kEnvelope, bool kSections>
void tStringVoice::runFiltered(double* out, int frames, double left, double right, bool add) {
    switch (mSlope) {
    case 1:
        runQuiet<kChannels, kEnvelope, kSections>(out, frames, left, right, add, &mLowPass1);
        break;
    case 2:
    case 3:
        runQuiet<kChannels, kEnvelope, kSections>(out, frames, left, right, add, &mLowPass2);
        break;
    case 4:
    case 5:
        runQuiet<kChannels, kEnvelope, kSections>(out, frames, left, right, add, &mLowPass3);
        break;
    case 6:
    case 7:
        runQuiet<kChannels, kEnvelope, kSections>(out, frames, left, right, add, &mLowPass4);
        break;
    default:
        runQuiet<kChannels, kEnvelope, kSections, tNoFilter>(out, frames, left, right, add,
                                                             nullptr);
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
template <int kChannels, bool kEnvelope, bool kSections, class tOutputFilter>
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
    const int envelopeInterval = mEnvelopeInterval;
    const int lfoInterval = mLfoInterval;
    int envelopeIn = envelopeInterval - 1 - now % envelopeInterval;
    int lfoIn = lfoInterval - 1 - now % lfoInterval;
    const double b0a = kSections ? mSection[0].b0 : mLoop[0].b0();
    const double a1a = kSections ? mSection[0].a1 : mLoop[0].a1();
    const double b0b = mLoop[1].b0(), a1b = mLoop[1].a1();
    const double b0c = mLoop[2].b0(), a1c = mLoop[2].a1();
    const double b0d = mLoop[3].b0(), a1d = mLoop[3].a1();
    const double b1a = mSection[0].b1;
    double ya = kSections ? mSection[0].y : mLoop[0].y();
    double yb = mLoop[1].y(), yc = mLoop[2].y(), yd = mLoop[3].y();
    double xa = mSection[0].x1;
    double xb = 0.0, xc = 0.0, xd = 0.0; // the one-poles have no zero
    // One loop filter: the one-pole at 44100 Hz, the section with its zero elsewhere.
    auto stage = [](double x, double b0, double b1, double a1, double& x1, double& y) {
        if constexpr (kSections) {
            y = b0 * x + b1 * x1 + a1 * y;
            x1 = x;
        } else {
            y = b0 * x + a1 * y;
        }
        return y;
    };

    for (int i = 0; i < frames; ++i) {
        if (count == offDelayAt) feedback = offFeedback;

        double x = delay.output();
        if (modulation) x = -x;
        if (waveType == kPiano2) x = x + mSampled.nextA();
        if (waveType == kMetal) x = x + mSampled.nextB();
        x = stage(x, b0a, b1a, a1a, xa, ya);
        if constexpr (kSections) {
            // Further sections stay in the voice: fewer values to hold in registers.
            for (int k = 1; k < order; ++k) x = mSection[k].process(x);
        } else if (order > 1) {
            x = stage(x, b0b, 0.0, a1b, xb, yb);
            if (order > 2) {
                x = stage(x, b0c, 0.0, a1c, xc, yc);
                if (order > 3) x = stage(x, b0d, 0.0, a1d, xd, yd);
            }
        }
        double e = x * feedback;
        if (!(std::fabs(e) <= kLoopBound)) { // also NaN: the whole loop starts from rest
            delay.clear(0.0);
            ya = yb = yc = yd = 0.0;
            xa = 0.0;
            if constexpr (kSections) {
                for (tLoopSection& section : mSection) section.clear();
            }
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
                envelopeIn = envelopeInterval;
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
                lfoIn = lfoInterval;
            }
            --lfoIn;
            result = result * lfoFactor;
        }
        Put<kChannels>(out, i, result, left, right, add);
    }

    mDelay = std::move(delay);
    if (localFilter) *filter = *localFilter;
    mDcBlocker = dcBlocker;
    if constexpr (kSections) {
        mSection[0].y = ya;
        mSection[0].x1 = xa;
    } else {
        mLoop[0].setY(ya);
        mLoop[1].setY(yb);
        mLoop[2].setY(yc);
        mLoop[3].setY(yd);
    }
    mCount = count;
    mNow = now;
    mFeedback = feedback;
    mLfoFactor = lfoFactor;
}
