// Blocks of a string voice. A block is cut into runs of samples on which no rare work falls
// (a filter-attack step, the end of the voice); the single samples that carry it go through
// tick(). A run is computed in passes over a buffer on the stack: the string's loop, the output
// envelope's steps, the output stage in place, and the amplitude into the block. Each pass
// keeps its state in locals, so that the recursions stay in registers, and computes sample for
// sample, operation for operation, what tick() computes: a block gives the samples of that
// many ticks.
#include "string/StringVoice.h"

#include "dsp/RarePath.h"
#include "dsp/SampleRate.h"
#include "string/OutputFilterStep.h"
#include "string/StringPasses.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace stringpasses;

namespace {

// How the string's output enters the loop filters: as it is (or inverted, see loopPassOf), or
// through the general path that also adds a sampled wave.
enum { kPlain, kWithWave };

} // namespace

void tStringVoice::render(double* out, int frames, int channels, double left, double right,
                          bool add) {
    if (mAsleep) {
        skip(frames);
        if (!add) std::fill(out, out + frames * channels, 0.0);
        return;
    }
    beginBlock(frames);
    renderRange(out, frames, channels, left, right, add);
}

void tStringVoice::beginBlock(int frames) {
    mLoopPeak = 0.0;
    mOutputPeak = 0.0;
    mPeakFrames = frames;
}

void tStringVoice::renderRange(double* out, int frames, int channels, double left, double right,
                               bool add) {
    if (channels == 2) {
        renderBlock<2>(out, frames, left, right, add);
    } else {
        renderBlock<1>(out, frames, left, right, add);
    }
}

template <int kChannels>
void tStringVoice::renderBlock(double* out, int frames, double left, double right, bool add) {
    int i = 0;
    while (i < frames && mState == kSounding) {
        const int run = quietRun(std::min(frames - i, kPass));
        if (run == 0) {
            mLoopPeak = kLoud; // the loop is changing: no block to sleep on
            Put<kChannels>(out, i, tick(), left, right, add);
            ++i;
            continue;
        }
        runPasses<kChannels>(out + i * kChannels, run, left, right, add);
        i += run;
    }
    // A voice that ended in this block gives silence for the rest of it.
    for (; i < frames; ++i) Put<kChannels>(out, i, 0.0, left, right, add);
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
    // The volume's law (held, attack ramp, release ramp) stays the same in a run.
    if (mCount < mSilence) {
        limitTo(mSilence - mCount);
    } else if (mNow < mAttack) {
        limitTo(mAttack - mNow);
    } else if (mNow <= mNoteOffTime) {
        limitTo(mNoteOffTime - mNow + 1);
    }
    return run;
}

template <int kChannels>
void tStringVoice::runPasses(double* out, int n, double left, double right, bool add) {
    // The envelope and the string do not touch each other's state: the envelope goes first.
    tSteps steps;
    envelopePass(n, steps);
    double buffer[kPass];
    tKeep keep{buffer};
    // Without an output stage, tremolo, ramp, moving amplitude factor or sampled wave the loop's
    // samples go straight to the output as they come.
    bool direct = filterOrder() == 0 && !mDcFilter && !mLfoOn && !volumeLaw().ramp &&
                  mWaveType != kPiano2 && mWaveType != kMetal;
    for (int g = 1; g < steps.count && direct; ++g) direct = steps.ampl[g] == steps.ampl[0];
    if (direct) {
        const double volume = mVolume;
        const double ampl = steps.ampl[0];
        if (add) {
            auto play = [&buffer, volume, ampl, out, left, right](int i, double e) {
                buffer[i] = e;
                Put<kChannels>(out, i, e * volume * ampl, left, right, true);
            };
            loopPass<false>(n, play);
        } else {
            auto play = [&buffer, volume, ampl, out, left, right](int i, double e) {
                buffer[i] = e;
                Put<kChannels>(out, i, e * volume * ampl, left, right, false);
            };
            loopPass<false>(n, play);
        }
    } else {
        loopPass<true>(n, keep);
    }
    if (direct) {
        watchPeaks(mLoopPeak, mOutputPeak, buffer, n);
    } else {
        watchPeak(mLoopPeak, buffer, n);
        finishPass<kChannels>(out, buffer, n, steps, left, right, add);
        watchPeak(mOutputPeak, buffer, n);
    }
    mCount += n;
    mNow += n;
}

// Watching for sleep: the last sample tells at once a string that is far from silent.
void tStringVoice::watchPeak(double& peak, const double* x, int n) {
    if (!(peak < kSleepLevel)) return;
    peak = std::fabs(x[n - 1]) < kSleepLevel ? std::max(peak, Peak(x, n)) : kLoud;
}

void tStringVoice::watchPeaks(double& loopPeak, double& outputPeak, const double* x, int n) {
    const bool loop = loopPeak < kSleepLevel;
    const bool output = outputPeak < kSleepLevel;
    if (!loop && !output) return;
    const double block = std::fabs(x[n - 1]) < kSleepLevel ? Peak(x, n) : kLoud;
    if (loop) loopPeak = std::max(loopPeak, block);
    if (output) outputPeak = std::max(outputPeak, block);
}

// --- the string's loop -------------------------------------------------------------------

template <bool kWaves, class tSink> void tStringVoice::loopPass(int n, tSink& sink) {
    const bool sections = mRate != kReferenceRate;
    const bool wave = kWaves && (mWaveType == kPiano2 || mWaveType == kMetal);
#define KV_LOOP_ORDER(order)                                                                       \
    if (sections) {                                                                                \
        if (!wave) return loopPassOf<order, true, kPlain>(n, sink);                                \
        if constexpr (kWaves) return loopPassOf<order, true, kWithWave>(n, sink);                  \
        return;                                                                                    \
    }                                                                                              \
    if (!wave) return loopPassOf<order, false, kPlain>(n, sink);                                   \
    if constexpr (kWaves) return loopPassOf<order, false, kWithWave>(n, sink);                     \
    return
    switch (mOrder) {
    case 1:
        KV_LOOP_ORDER(1);
    case 2:
        KV_LOOP_ORDER(2);
    case 3:
        KV_LOOP_ORDER(3);
    default:
        KV_LOOP_ORDER(4);
    }
#undef KV_LOOP_ORDER
}

// The loop pass, cut where the feedback changes: the off-feedback takes over before the
// sample at the off delay, a soft-damp step follows each sample at a multiple of its interval.
void tStringVoice::takeLoop(tLoopState& s) {
    s.line = mDelay.cursor();
    const bool sections = mRate != kReferenceRate;
    for (int k = 0; k < 4; ++k) {
        if (sections) {
            s.b0[k] = mSection[k].b0;
            s.b1[k] = mSection[k].b1;
            s.a1[k] = mSection[k].a1;
            s.x1[k] = mSection[k].x1;
            s.y[k] = mSection[k].y;
        } else {
            s.b0[k] = mLoop[k].b0();
            s.b1[k] = 0.0;
            s.a1[k] = mLoop[k].a1();
            s.x1[k] = 0.0;
            s.y[k] = mLoop[k].y();
        }
    }
}

void tStringVoice::giveLoop(const tLoopState& s) {
    mDelay.setCursor(s.line);
    const bool sections = mRate != kReferenceRate;
    for (int k = 0; k < 4; ++k) {
        if (sections) {
            mSection[k].x1 = s.x1[k];
            mSection[k].y = s.y[k];
        } else {
            mLoop[k].setY(s.y[k]);
        }
    }
}

// The first loop filter fed with the inverted string: its input coefficients and the input it
// keeps change sign (applied twice, it is undone).
void tStringVoice::invertFirstFilter(tLoopState& s) {
    s.b0[0] = -s.b0[0];
    s.b1[0] = -s.b1[0];
    s.x1[0] = -s.x1[0];
}

tFeedbackSchedule tStringVoice::feedbackSchedule() const {
    tFeedbackSchedule schedule;
    schedule.offDelayAt = (mOffDelayCount != 0 && mSoftDamp == 0) ? mOffDelayCount - mCount : -1;
    schedule.softDamp = mSoftDamp;
    schedule.now = mNow;
    schedule.offFeedback = mOffFeedback;
    schedule.capped = mOffDelayCount != 0;
    return schedule;
}

// The loop pass, in segments that keep one feedback.
template <int kOrder, bool kSections, int kInput, class tSink>
void tStringVoice::loopPassOf(int n, tSink& sink) {
    tLoopState s;
    takeLoop(s);
    const bool modulation = mModulation != 0;
    // The plain path inverts the string's output ("modulation") inside the first loop filter,
    // exactly: b0·(−x) = (−b0)·x.
    const bool folded = kInput == kPlain && modulation;
    if (folded) invertFirstFilter(s);
    auto input = [this, modulation](double x) {
        if constexpr (kInput == kWithWave) {
            if (modulation) x = -x;
            if (mWaveType == kPiano2) x = x + mSampled.nextA();
            if (mWaveType == kMetal) x = x + mSampled.nextB();
        }
        return x;
    };
    const tFeedbackSchedule schedule = feedbackSchedule();
    double feedback = mFeedback;
    for (int i = 0; i < n;) {
        feedback = schedule.at(i, feedback);
        int change;
        const int end = schedule.segment(i, n, change);
        LoopRun<kOrder, kSections>(s, feedback, kLoopBound, i, end, input, sink);
        feedback = schedule.after(change, feedback);
        i = end;
    }
    mFeedback = feedback;
    if (folded) invertFirstFilter(s);
    giveLoop(s);
}

// --- the output envelope and stage ---------------------------------------------------------

void tStringVoice::envelopeStep(int count, int now) {
    tEnvelopeState state = envelopeState();
    const double c = envelopeCutoff(count, now, mBaseCutoff, envelopeShape(), state);
    setEnvelopeState(state);
    setOutputCutoff(c);
}

tStringVoice::tEnvelopeState tStringVoice::envelopeState() const {
    return {mEnvLevel, mEnvPhase, mSustainEnd, mAmplFactor};
}

void tStringVoice::setEnvelopeState(const tEnvelopeState& state) {
    mEnvLevel = state.level;
    mEnvPhase = state.phase;
    mSustainEnd = state.sustainEnd;
    mAmplFactor = state.ampl;
}

tStringVoice::tEnvelopeShape tStringVoice::envelopeShape() const {
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
    tEnvelopeShape shape;
    shape.depth = mFollow != 0 ? 5.0 * k : 500.0 * k;
    shape.follow = mFollow == 2 ? std::sqrt(880.0 / mFreq) : 1.0;
    return shape;
}

inline double tStringVoice::envelopeCutoff(int count, int now, double base,
                                           const tEnvelopeShape& shape, tEnvelopeState& e) const {
    double c = base;
    if (mEnvMode != 0 && count >= mSilence) {
        if (e.phase == 0) {
            e.level = e.level * mRiseSpeed + mRiseAdd;
            if (e.level >= 1.0) {
                e.level = 1.0;
                e.phase = 1;
                e.sustainEnd = mSustainSamples + now;
            }
        } else {
            e.level = e.level * mFallFactor;
            if (now > e.sustainEnd) e.level = e.level * mReleaseStep;
        }
        c = base + e.level * shape.depth * mEnvAmount;
        if (mAmplEnv) e.ampl = e.level;
    }
    if (mFollow == 2) c = c * shape.follow;
    if (mFollow != 0) c = c * mFreq;
    return c;
}

// The envelope's steps in the run: levels and cutoffs one after the other, then the filter's
// designs for all the cutoffs at once.
void tStringVoice::envelopePass(int n, tSteps& steps) {
    steps.count = 1;
    steps.start[0] = 0;
    steps.set[0] = outputCoefficients();
    steps.ampl[0] = mAmplFactor;
    if (!envelopeActs()) return;
    const bool envelopeSteps = mSlope != 0 || mAmplEnv;
    const tEnvelopeShape shape = envelopeShape();
    tEnvelopeState state = envelopeState();
    double base = mBaseCutoff;
    int glide = mGlideSteps;
    double cutoffs[kPass + 1];
    int g = 1;
    for (int i = mEnvelopeInterval - 1 - mNow % mEnvelopeInterval; i < n; i += mEnvelopeInterval) {
        if (!envelopeSteps && glide == 0) continue;
        if (glide != 0) {
            base += mGlideStep;
            --glide;
        }
        cutoffs[g] = envelopeCutoff(mCount + i, mNow + i, base, shape, state);
        steps.start[g] = i;
        steps.ampl[g] = state.ampl;
        ++g;
    }
    setEnvelopeState(state);
    mBaseCutoff = base;
    mGlideSteps = glide;
    steps.count = g;
    const int last = g - 1;
    if (last == 0) return;
    if (mSlope != 0) {
        outputDesign().design(cutoffs + 1, last, steps.set + 1);
        mOutputK = steps.set[last];
        mOutputKSlope = mSlope;
    }
    mDesignedSlope = mSlope;
    mDesignedCutoff = cutoffs[last];
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

// The volume's law in a run: the volume held, or at sample j the volume × (from + step·j) /
// over, the attack or release ramp.
tStringVoice::tVolumeLaw tStringVoice::volumeLaw() const {
    tVolumeLaw law;
    law.volume = mVolume;
    if (mCount >= mSilence && mNow < mAttack) {
        law.ramp = true;
        law.from = mNow;
        law.step = 1;
        law.over = mAttack;
    } else if (mCount >= mSilence && mNow > mNoteOffTime) {
        law.ramp = true;
        law.from = mReleaseEnd - mNow;
        law.step = -1;
        law.over = mReleaseEnd - mNoteOffTime;
    }
    return law;
}

template <int kChannels>
void tStringVoice::finishPass(double* out, double* buffer, int n, const tSteps& steps, double left,
                              double right, bool add) {
    withFinishShape([&]<int kOrder, bool kHalfDry, bool kDc>() {
        finishPassOf<kChannels, kOrder, kHalfDry, kDc>(out, buffer, n, steps, left, right, add);
    });
}

// The output stage and the amplitude. The output filter's coefficients and the amplitude
// factor change where the envelope steps, the tremolo where it is updated. The output stage's
// values are left in the buffer.
template <int kChannels, int kOrder, bool kHalfDry, bool kDc>
void tStringVoice::finishPassOf(double* out, double* buffer, int n, const tSteps& steps,
                                double left, double right, bool add) {
    const tVolumeLaw law = volumeLaw();
    double s0 = mOutputState[0], s1 = mOutputState[1], s2 = mOutputState[2];
    double s3 = mOutputState[3];
    tDcBlocker dcBlocker = mDcBlocker;
    const bool lfoOn = mLfoOn != 0;
    double lfo = lfoOn ? mLfoFactor : 1.0;
    const int lfoInterval = mLfoInterval;
    int lfoAt = lfoOn ? lfoInterval - 1 - mNow % lfoInterval : n;
    int group = 0;
    int stepAt = steps.count > 1 ? steps.start[1] : n;
    double k[6];
    for (int m = 0; m < 6; ++m) k[m] = steps.set[0].k[m];
    double ampl = steps.ampl[0];
    for (int j = 0; j < n; ++j) {
        if (j == stepAt) [[unlikely]] {
            ++group;
            for (int m = 0; m < 6; ++m) k[m] = steps.set[group].k[m];
            ampl = steps.ampl[group];
            stepAt = group + 1 < steps.count ? steps.start[group + 1] : n;
        }
        if (j == lfoAt) [[unlikely]] {
            lfo = 1.0 + mLfoAmount * mLfo.next();
            lfoAt += lfoInterval;
        }
        const double e = buffer[j];
        double y = e;
        if constexpr (kOrder > 0) {
            y = outputfilter::step<kOrder>(k, s0, s1, s2, s3, e);
            if constexpr (kHalfDry) y = y + 0.5 * e;
            if (!(std::fabs(y) <= kOutputFilterBound)) [[unlikely]] { // also NaN
                rarePath();
                s0 = s1 = s2 = s3 = 0.0;
                y = 0.0;
            }
        }
        if constexpr (kDc) y = dcBlocker.process(y);
        if constexpr (kOrder > 0 || kDc) buffer[j] = y;
        const double g = law.ramp ? law.volume * (law.from + law.step * j) / law.over : law.volume;
        Put<kChannels>(out, j, y * g * ampl * lfo, left, right, add);
    }
    mOutputState[0] = s0;
    mOutputState[1] = s1;
    mOutputState[2] = s2;
    mOutputState[3] = s3;
    mDcBlocker = dcBlocker;
    if (lfoOn) mLfoFactor = lfo;
}

template void tStringVoice::finishPass<1>(double*, double*, int, const tSteps&, double, double,
                                          bool);
template void tStringVoice::finishPass<2>(double*, double*, int, const tSteps&, double, double,
                                          bool);
