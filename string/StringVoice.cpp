#include "string/StringVoice.h"

#include <cmath>

namespace {

// Note-off time and release end of a held note: about 1000 s at 44100.
constexpr int kHeld = 44000000;
// Samples between output-envelope steps, filter-attack steps and tremolo updates.
constexpr int kEnvelopeInterval = 4;
constexpr int kAttackInterval = 50;
constexpr int kLfoInterval = 20;

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
    mLowPass2.setType(kind);
    mLowPass3.setType(kind);
    mLowPass4.setType(kind);
}

void tStringVoice::setResonance(double resonance) {
    mLowPass2.setResonance(resonance);
    mLowPass3.setResonance(resonance);
    mLowPass4.setResonance(0.7 * resonance);
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
    // 1-3: period and times
    mFreq = freq;
    mNote = note;
    mState = kIdle;
    const double d = mRate / freq;
    mPeriod = static_cast<int>(std::floor(d + 0.5));
    mSoftDamp = mSoftDampPeriods;
    if (mSoftDamp != 0) mSoftDamp = mSoftDamp * mPeriod;
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

    // 7-9: the string and its excitation
    mDelay.setLength(d, note);
    mDelay.clear(0.0);
    mRandomFilter.update(freq);
    mRandomFilter.clear();
    writeBurst();

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
    mState = kPreparing;

    // 13: pre-roll, the string sounding unheard for the silence periods
    if (mSilencePeriods != 0) {
        for (int i = 0; i < mSilence; ++i) {
            if (mOffDelayCount != 0 && mSoftDamp == 0 && mCount >= mOffDelayCount) {
                mFeedback = mOffFeedback;
            }
            loopSample();
            attackStep(mCount);
            // Soft damping keeps its pace in the unheard part, counted from note on.
            if (mSoftDamp != 0 && mCount % mSoftDamp == 0) softDampStep();
            ++mCount;
        }
    }

    // 14: ready to sound
    mAmplFactor = (mAmplEnv && mEnvMode != 0) ? 0.0 : 1.0;
    mEnvLevel = mEnvSpeed >= 1.07 ? 1.0 : 0.0;
    mEnvPhase = 0;
    mNow = 0;
    mState = kSounding;
}

void tStringVoice::writeBurst() {
    tNoiseSource* noise = mPink ? static_cast<tNoiseSource*>(&mPinkNoise) : &mWhite;
    const int samples = mPeriod + (mWaveType == kRect ? 2 : 1);
    const double w = mWaveAmount;
    const double b0 = mRandomFilter.b0();
    const double a1 = mRandomFilter.a1();
    double y = mRandomFilter.y();
    auto random = [&](double x) { return y = b0 * x + a1 * y; };

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
}

double tStringVoice::loopSample() {
    double x = mDelay.output();
    if (mModulation) x = -x;
    if (mWaveType == kPiano2) x = x + mSampled.nextA();
    if (mWaveType == kMetal) x = x + mSampled.nextB();
    for (int i = 0; i < mOrder; ++i) x = mLoop[i].process(x);
    const double e = x * mFeedback;
    mDelay.write(e);
    return e;
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
    if (mDcFilter) y = mDcBlocker.process(y);
    return y;
}

void tStringVoice::noteOff() {
    if (mState == kIdle) return;
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

// The block loop computes exactly what tick() computes, sample by sample, with the voice
// state held in locals and the every-4th / 20th / 50th / K-th sample work found by
// countdowns instead of divisions.
template <int kChannels>
void tStringVoice::renderBlock(double* out, int frames, double left, double right, bool add) {
    int count = mCount;
    int now = mNow;
    double feedback = mFeedback;
    const double offFeedback = mOffFeedback;
    const int endTime = mEndTime;
    const int offDelayAt = (mOffDelayCount != 0 && mSoftDamp == 0) ? mOffDelayCount : -1;
    const bool offDelayLimits = mOffDelayCount != 0;
    const int order = mOrder;
    const int waveType = mWaveType;
    const bool modulation = mModulation != 0;
    const double volume = mVolume;
    const int silence = mSilence;
    const int attack = mAttack;
    const int noteOffTime = mNoteOffTime;
    const int releaseEnd = mReleaseEnd;
    const int slope = mSlope;
    const bool dcFilter = mDcFilter != 0;
    const bool lfoOn = mLfoOn != 0;
    const int softDamp = mSoftDamp;
    double amplFactor = mAmplFactor;
    double lfoFactor = mLfoFactor;

    double b0[4], a1[4], y[4];
    auto loadCoefficients = [&] {
        for (int k = 0; k < 4; ++k) {
            b0[k] = mLoop[k].b0();
            a1[k] = mLoop[k].a1();
        }
    };
    loadCoefficients();
    for (int k = 0; k < 4; ++k) y[k] = mLoop[k].y();

    int nextAttack = nextAttackStep(count);
    int dampIn = softDamp != 0 ? (softDamp - now % softDamp) % softDamp : -1;
    int envelopeIn = kEnvelopeInterval - 1 - now % kEnvelopeInterval;
    int lfoIn = kLfoInterval - 1 - now % kLfoInterval;

    int i = 0;
    for (; i < frames; ++i) {
        if (count > endTime) {
            mState = kIdle;
            break;
        }
        if (count == offDelayAt) feedback = offFeedback;

        // the string
        double x = mDelay.output();
        if (modulation) x = -x;
        if (waveType == kPiano2) x = x + mSampled.nextA();
        if (waveType == kMetal) x = x + mSampled.nextB();
        y[0] = b0[0] * x + a1[0] * y[0];
        x = y[0];
        if (order > 1) {
            y[1] = b0[1] * x + a1[1] * y[1];
            x = y[1];
            if (order > 2) {
                y[2] = b0[2] * x + a1[2] * y[2];
                x = y[2];
                if (order > 3) {
                    y[3] = b0[3] * x + a1[3] * y[3];
                    x = y[3];
                }
            }
        }
        double e = x * feedback;
        mDelay.write(e);

        if (count == nextAttack) {
            attackStep(count);
            loadCoefficients();
            nextAttack = nextAttackStep(count + 1);
        }

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

        if (dampIn == 0) {
            feedback = std::sqrt(feedback);
            if (offDelayLimits && feedback > offFeedback) feedback = offFeedback;
            dampIn = softDamp;
        }
        --dampIn;

        if (envelopeIn == 0) {
            if (slope != 0 || mAmplEnv || mGlideSteps != 0) {
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

        if (slope != 0 || dcFilter) e = outputStage(e);

        ++count;
        ++now;
        double result = e * g * amplFactor;
        if (lfoOn) {
            if (lfoIn == 0) {
                lfoFactor = 1.0 + mLfoAmount * mLfo.next();
                lfoIn = kLfoInterval;
            }
            --lfoIn;
            result = result * lfoFactor;
        }

        if constexpr (kChannels == 1) {
            if (add) {
                out[i] += result;
            } else {
                out[i] = result;
            }
        } else {
            if (add) {
                out[2 * i] += left * result;
                out[2 * i + 1] += right * result;
            } else {
                out[2 * i] = left * result;
                out[2 * i + 1] = right * result;
            }
        }
    }
    // A voice that ended in this block gives silence for the rest of it.
    for (; i < frames; ++i) {
        if constexpr (kChannels == 1) {
            out[i] = add ? out[i] + 0.0 : 0.0;
        } else {
            out[2 * i] = add ? out[2 * i] + 0.0 : 0.0;
            out[2 * i + 1] = add ? out[2 * i + 1] + 0.0 : 0.0;
        }
    }

    for (int k = 0; k < 4; ++k) mLoop[k].setY(y[k]);
    mCount = count;
    mNow = now;
    mFeedback = feedback;
    mLfoFactor = lfoFactor;
}
