// Sleep of a string voice: whether its sound has decayed so far below the 16-bit output's
// smallest step that it may be dropped, and its time passing while it sleeps.
#include "string/StringVoice.h"

#include "dsp/SampleRate.h"
#include "string/StringPasses.h"

#include <algorithm>
#include <cmath>

using namespace stringpasses;

void tStringVoice::skip(int frames) {
    if (mState != kSounding) return;
    // tick() ends the voice at the first sample whose count is past the end time.
    if (mEndTime - mCount < frames - 1) {
        mState = kIdle;
        return;
    }
    mCount += frames;
    mNow += frames;
}

bool tStringVoice::mayFallAsleep() const {
    // Filter-attack steps or an excitation still to come change the loop.
    if (mCount <= mFilterAttackCount) return false;
    if (mWaveType == kPiano2 && !mSampled.silentA()) return false;
    if (mWaveType == kMetal && !mSampled.silentB()) return false;
    // A silent loop stays silent whatever its gain.
    if (mLoopPeak == 0.0 && mOutputPeak == 0.0) return true;
    // The loop must not be able to grow: a feedback (now and any it takes later) of at most 1,
    // loop filters whose gain nowhere exceeds 1 (a first-order filter's gain is largest at
    // 0 Hz or at half the rate), an allpass.
    double feedback = std::fabs(mFeedback);
    if (mOffDelayCount != 0 && (mSoftDamp != 0 || mCount <= mOffDelayCount)) {
        feedback = std::max(feedback, std::fabs(mOffFeedback));
    }
    if (!(feedback <= 1.0)) return false;
    constexpr double kRoom = 1.0 + 1e-9;
    for (int k = 0; k < mOrder; ++k) {
        double b0, b1, a1;
        if (mRate == kReferenceRate) {
            b0 = mLoop[k].b0();
            b1 = 0.0;
            a1 = mLoop[k].a1();
        } else {
            b0 = mSection[k].b0;
            b1 = mSection[k].b1;
            a1 = mSection[k].a1;
        }
        if (!(std::fabs(a1) < 1.0)) return false;
        if (!(std::fabs(b0 + b1) <= (1.0 - a1) * kRoom)) return false;
        if (!(std::fabs(b0 - b1) <= (1.0 + a1) * kRoom)) return false;
    }
    return std::fabs(mDelay.coefficient()) <= 1.0;
}

namespace {

// The sum of magnitudes of the impulse response of 1 / (1 − c1·z⁻¹ − c2·z⁻²), bounded from
// its poles; infinity when a pole is not inside the unit circle.
double AllPoleGain(double c1, double c2) {
    const double d = c1 * c1 + 4.0 * c2;
    if (d >= 0.0) {
        const double root = std::sqrt(d);
        const double r1 = std::fabs(0.5 * (c1 + root));
        const double r2 = std::fabs(0.5 * (c1 - root));
        if (!(r1 < 1.0 && r2 < 1.0)) return kLoud;
        return 1.0 / ((1.0 - r1) * (1.0 - r2));
    }
    const double radius = std::sqrt(-c2);
    if (!(radius < 1.0)) return kLoud;
    const double sine = std::sqrt(-d) / (2.0 * radius);
    return std::min(1.0 / ((1.0 - radius) * (1.0 - radius)), 1.0 / ((1.0 - radius) * sine));
}

// A second-order low pass: gain·(1 + 2z⁻¹ + z⁻²) over its poles.
double SecondOrderGain(double gain, double c1, double c2) {
    return 4.0 * std::fabs(gain) * AllPoleGain(c1, c2);
}

// A first-order low pass: b0·(1 + z⁻¹) / (1 + a1·z⁻¹).
double FirstOrderGain(double b0, double a1) {
    return std::fabs(a1) < 1.0 ? 2.0 * std::fabs(b0) / (1.0 - std::fabs(a1)) : kLoud;
}

} // namespace

double tStringVoice::outputStageGain() const {
    const tOutputCoefficients coefficients = outputCoefficients();
    const double* k = coefficients.k;
    double gain = 1.0;
    switch (filterOrder()) {
    case 1:
        gain = FirstOrderGain(k[0], k[1]);
        break;
    case 2:
        gain = SecondOrderGain(k[0], k[1], k[2]);
        break;
    case 3:
        gain = FirstOrderGain(k[0], k[1]) * SecondOrderGain(k[2], k[3], k[4]);
        break;
    case 4:
        gain = SecondOrderGain(k[0], k[1], k[2]) * SecondOrderGain(k[3], k[4], k[5]);
        break;
    default:
        break;
    }
    if (halfDry()) gain += 0.5;
    // The DC blocker: 1 − z⁻¹ over a pole inside the unit circle gives at most 2.
    if (mDcFilter) gain *= 2.0;
    return gain;
}

double tStringVoice::loudestGain(double loudestVolume) const {
    const double volume = std::max(std::fabs(mVolume), std::fabs(correctedVolume(loudestVolume)));
    const double tremolo = mLfoOn ? 1.0 + std::fabs(mLfoAmount) : 1.0;
    // The amplitude ramps stay within 0..1, so does the envelope's level.
    return volume * tremolo * std::max(1.0, std::fabs(mAmplFactor));
}

bool tStringVoice::sleepIfSilent(double loudestVolume) {
    if (mState != kSounding) return false;
    if (mAsleep) return true;
    if (!(mLoopPeak < kSleepLevel && mOutputPeak < kSleepLevel)) { // far from silent
        mQuietSamples = 0;
        return false;
    }
    // What is dropped must stay below the level at the voice's output, with room for the
    // string's own swings.
    const double outputLevel = kSleepLevel / (4.0 * loudestGain(loudestVolume));
    const double loopLevel = outputLevel / outputStageGain();
    if (!(mLoopPeak < loopLevel && mOutputPeak < outputLevel && mayFallAsleep())) {
        mQuietSamples = 0;
        return false;
    }
    // Quiet for longer than the string holds: everything in it is below the level.
    mQuietSamples = std::min(mQuietSamples + mPeakFrames, kNever - kPass);
    if (mQuietSamples <= mDelay.length() + kPass) return false;
    mAsleep = true;
    return true;
}
