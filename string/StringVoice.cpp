#include "string/StringVoice.h"

#include "dsp/DelayTuning.h"
#include "dsp/SampleRate.h"
#include "string/OutputFilterStep.h"
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
    mAsleep = false;
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
    // The module sets the same cutoff block after block.
    if (!(octaves == mCutoffOctaves)) {
        mCutoffOctaves = octaves;
        mCutoffPower = std::pow(2.0, octaves - 1.0);
    }
    double cutoff = mCutoffPower;
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
    mAsleep = false;
    mQuietSamples = 0;
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
        clearOutputFilters();
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
    mOutputK = filterCoefficients();
    mOutputKSlope = mSlope;
}

double tStringVoice::outputStage(double e) {
    double y = e;
    const tOutputCoefficients k = outputCoefficients();
    double* s = mOutputState;
    switch (mSlope) {
    case 1:
        y = outputfilter::step<1>(k.k, s[0], s[1], s[2], s[3], e);
        break;
    case 2:
        y = outputfilter::step<2>(k.k, s[0], s[1], s[2], s[3], e);
        break;
    case 3:
        y = outputfilter::step<2>(k.k, s[0], s[1], s[2], s[3], e) + 0.5 * e;
        break;
    case 4:
        y = outputfilter::step<3>(k.k, s[0], s[1], s[2], s[3], e);
        break;
    case 5:
        y = outputfilter::step<3>(k.k, s[0], s[1], s[2], s[3], e) + 0.5 * e;
        break;
    case 6:
        y = outputfilter::step<4>(k.k, s[0], s[1], s[2], s[3], e);
        break;
    case 7:
        y = outputfilter::step<4>(k.k, s[0], s[1], s[2], s[3], e) + 0.5 * e;
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
    for (double& s : mOutputState) s = 0.0;
}

int tStringVoice::filterOrder() const {
    static constexpr int kOrder[8] = {0, 1, 2, 2, 3, 3, 4, 4};
    return mSlope >= 0 && mSlope < 8 ? kOrder[mSlope] : 0;
}

tOutputCoefficients tStringVoice::outputCoefficients() const {
    return mOutputKSlope == mSlope ? mOutputK : filterCoefficients();
}

tOutputDesign tStringVoice::outputDesign() const {
    switch (filterOrder()) {
    case 1:
        return tOutputDesign::of(mLowPass1);
    case 2:
        return tOutputDesign::of(mLowPass2);
    case 3:
        return tOutputDesign::of(mLowPass3);
    case 4:
        return tOutputDesign::of(mLowPass4);
    default:
        return tOutputDesign();
    }
}

tOutputCoefficients tStringVoice::filterCoefficients() const {
    tOutputCoefficients c = {};
    double* k = c.k;
    switch (filterOrder()) {
    case 1:
        k[0] = mLowPass1.first().b0();
        k[1] = mLowPass1.first().a1();
        break;
    case 2:
        k[0] = mLowPass2.second().gain();
        k[1] = mLowPass2.second().c1();
        k[2] = mLowPass2.second().c2();
        break;
    case 3:
        k[0] = mLowPass3.first().b0();
        k[1] = mLowPass3.first().a1();
        k[2] = mLowPass3.second().gain();
        k[3] = mLowPass3.second().c1();
        k[4] = mLowPass3.second().c2();
        break;
    case 4:
        k[0] = mLowPass4.first().gain();
        k[1] = mLowPass4.first().c1();
        k[2] = mLowPass4.first().c2();
        k[3] = mLowPass4.second().gain();
        k[4] = mLowPass4.second().c1();
        k[5] = mLowPass4.second().c2();
        break;
    default:
        break;
    }
    return c;
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
