// Two string voices side by side. A voice's string loop is one long chain of dependent
// operations (the allpass, the loop filters), so a processor computing one voice waits on it
// most of the time; two voices' loops computed together, each in one half of a vector, take
// little longer than one. Each half does exactly the operations the voice alone would do, in
// the same order, so every sample is the same as from render(); where a run does not allow it
// (an output stage, a ramp, a rare step, voices that differ in their loop), the voices go on one
// after the other.
#include "string/StringVoice.h"

#include "dsp/DcBlocker.h"
#include "dsp/SampleRate.h"
#include "string/OutputFilterStep.h"
#include "string/StringPasses.h"

using namespace stringpasses;

namespace {

// Two doubles side by side: voice a in the first, voice b in the second. Each operation rounds
// each half as the scalar operation would.
typedef double tPair __attribute__((vector_size(16)));

// The loops of two voices as pairs of values for one pass.
struct tLoopPair {
    tDelayLine::tCursor a;
    tDelayLine::tCursor b;
    tPair y;  // the allpass's output
    tPair x1; // its last input
    tPair c;
    tPair b0[4];
    tPair b1[4];
    tPair a1[4];
    tPair sx[4]; // the loop filters' last inputs
    tPair sy[4]; // and outputs
};

tLoopPair Join(const tLoopState& a, const tLoopState& b) {
    tLoopPair p;
    p.a = a.line;
    p.b = b.line;
    p.y = tPair{a.line.y, b.line.y};
    p.x1 = tPair{a.line.x1, b.line.x1};
    p.c = tPair{a.line.c, b.line.c};
    for (int k = 0; k < 4; ++k) {
        p.b0[k] = tPair{a.b0[k], b.b0[k]};
        p.b1[k] = tPair{a.b1[k], b.b1[k]};
        p.a1[k] = tPair{a.a1[k], b.a1[k]};
        p.sx[k] = tPair{a.x1[k], b.x1[k]};
        p.sy[k] = tPair{a.y[k], b.y[k]};
    }
    return p;
}

void Split(const tLoopPair& p, tLoopState& a, tLoopState& b) {
    a.line = p.a;
    b.line = p.b;
    a.line.y = p.y[0];
    b.line.y = p.y[1];
    a.line.x1 = p.x1[0];
    b.line.x1 = p.x1[1];
    for (int k = 0; k < 4; ++k) {
        a.x1[k] = p.sx[k][0];
        b.x1[k] = p.sx[k][1];
        a.y[k] = p.sy[k][0];
        b.y[k] = p.sy[k][1];
    }
}

// The guard of LoopRun for one half: that voice's loop starts from rest.
void Rest(tLoopPair& p, tPair& v, int half) {
    tDelayLine::tCursor& line = half == 0 ? p.a : p.b;
    for (int i = 0; i < line.length; ++i) line.buffer[i] = 0.0;
    p.y[half] = 0.0;
    p.x1[half] = 0.0;
    for (int k = 0; k < 4; ++k) {
        p.sx[k][half] = 0.0;
        p.sy[k][half] = 0.0;
    }
    v[half] = 0.0;
}

// The sampled waves that two voices add to the string's output as it enters the loop filters
// (after "modulation" inverts it: sign −1), for the samples of a pass.
struct tWaveInput {
    tPair sign;
    const double* a;
    const double* b;
};

// LoopRun for two voices: samples from .. to − 1, each pair handed to the sink. The state is
// held in locals for the run, so that it stays in registers.
template <int kOrder, bool kSections, bool kWaves, class tSink>
inline void LoopRunPair(tLoopPair& p, tPair feedback, double bound, int from, int to,
                        const tWaveInput& input, tSink& sink) {
    tPair y = p.y;
    tPair x1 = p.x1;
    const tPair c = p.c;
    tPair sx[kOrder];
    tPair sy[kOrder];
    for (int k = 0; k < kOrder; ++k) {
        sx[k] = p.sx[k];
        sy[k] = p.sy[k];
    }
    for (int i = from; i < to;) {
        const int end = std::min(to, i + std::min(p.a.span(), p.b.span()));
        double* const bufferA = p.a.buffer;
        double* const bufferB = p.b.buffer;
        int writeA = p.a.writeAt, writeB = p.b.writeAt, readA = p.a.readAt, readB = p.b.readAt;
        for (; i < end; ++i) {
            tPair x = y;
            if constexpr (kWaves) x = x * input.sign + tPair{input.a[i], input.b[i]};
#pragma GCC unroll 4
            for (int k = 0; k < kOrder; ++k) {
                if constexpr (kSections) {
                    sy[k] = p.b0[k] * x + p.b1[k] * sx[k] + p.a1[k] * sy[k];
                    sx[k] = x;
                } else {
                    sy[k] = p.b0[k] * x + p.a1[k] * sy[k];
                }
                x = sy[k];
            }
            tPair v = x * feedback;
            if (!(std::fabs(v[0]) <= bound && std::fabs(v[1]) <= bound)) [[unlikely]] {
                p.y = y;
                p.x1 = x1;
                for (int k = 0; k < kOrder; ++k) {
                    p.sx[k] = sx[k];
                    p.sy[k] = sy[k];
                }
                if (!(std::fabs(v[0]) <= bound)) Rest(p, v, 0);
                if (!(std::fabs(v[1]) <= bound)) Rest(p, v, 1);
                y = p.y;
                x1 = p.x1;
                for (int k = 0; k < kOrder; ++k) {
                    sx[k] = p.sx[k];
                    sy[k] = p.sy[k];
                }
            }
            bufferA[writeA++] = v[0];
            bufferB[writeB++] = v[1];
            const tPair a = {bufferA[readA++], bufferB[readB++]};
            y = c * (a - y) + x1;
            x1 = a;
            sink(i, v);
        }
        p.a.writeAt = writeA;
        p.b.writeAt = writeB;
        p.a.readAt = readA;
        p.b.readAt = readB;
        p.a.wrap();
        p.b.wrap();
    }
    p.y = y;
    p.x1 = x1;
    for (int k = 0; k < kOrder; ++k) {
        p.sx[k] = sx[k];
        p.sy[k] = sy[k];
    }
}

} // namespace

bool tStringVoice::hasWave() const {
    return mWaveType == kPiano2 || mWaveType == kMetal;
}

void tStringVoice::waveSamples(double* wave, int n) {
    if (mWaveType == kPiano2) {
        for (int i = 0; i < n; ++i) wave[i] = mSampled.nextA();
    } else {
        for (int i = 0; i < n; ++i) wave[i] = mSampled.nextB();
    }
}

bool tStringVoice::goesStraight() const {
    return filterOrder() == 0 && !mDcFilter && !mLfoOn && !(mAmplEnv && mEnvMode != 0) &&
           mWaveType != kPiano2 && mWaveType != kMetal && !volumeLaw().ramp;
}

void tStringVoice::renderPair(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                              double leftB, double rightB, double* out, int frames, int channels,
                              bool addA) {
    if (a.mAsleep || b.mAsleep) {
        a.render(out, frames, channels, leftA, rightA, addA);
        b.render(out, frames, channels, leftB, rightB, true);
        return;
    }
    a.beginBlock(frames);
    b.beginBlock(frames);
    const int done = channels == 2
                         ? renderPairRuns<2>(a, leftA, rightA, b, leftB, rightB, out, frames, addA)
                         : renderPairRuns<1>(a, leftA, rightA, b, leftB, rightB, out, frames, addA);
    // The rest of the block one voice after the other.
    out += done * channels;
    a.renderRange(out, frames - done, channels, leftA, rightA, addA);
    b.renderRange(out, frames - done, channels, leftB, rightB, true);
}

template <int kChannels>
int tStringVoice::renderPairRuns(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                                 double leftB, double rightB, double* out, int frames, bool addA) {
    int i = 0;
    while (i < frames && a.mState == kSounding && b.mState == kSounding && a.mRate == b.mRate &&
           a.mOrder == b.mOrder && a.hasWave() == b.hasWave()) {
        const int runA = a.quietRun(std::min(frames - i, kPass));
        const int runB = b.quietRun(std::min(frames - i, kPass));
        if (runA == 0 || runB == 0) break;
        const int n = std::min(runA, runB);
        if (a.goesStraight() && b.goesStraight()) {
            pairPasses<kChannels>(a, leftA, rightA, b, leftB, rightB, out + i * kChannels, n, addA);
        } else {
            pairStagedPasses<kChannels>(a, leftA, rightA, b, leftB, rightB, out + i * kChannels, n,
                                        addA);
        }
        i += n;
    }
    return i;
}

template <class tSink>
void tStringVoice::pairLoop(tStringVoice& a, tStringVoice& b, int n, tSink& sink) {
    tLoopState sa;
    tLoopState sb;
    a.takeLoop(sa);
    b.takeLoop(sb);
    // The plain loop inverts the string ("modulation") inside the first loop filter, as in
    // loopPassOf; with a sampled wave the inversion comes before the wave is added.
    const bool waves = a.hasWave();
    const bool foldA = !waves && a.mModulation;
    const bool foldB = !waves && b.mModulation;
    if (foldA) invertFirstFilter(sa);
    if (foldB) invertFirstFilter(sb);
    tLoopPair p = Join(sa, sb);
    double waveA[kPass];
    double waveB[kPass];
    const tWaveInput input = {tPair{a.mModulation ? -1.0 : 1.0, b.mModulation ? -1.0 : 1.0}, waveA,
                              waveB};
    if (waves) {
        a.waveSamples(waveA, n);
        b.waveSamples(waveB, n);
    }
    const tFeedbackSchedule scheduleA = a.feedbackSchedule();
    const tFeedbackSchedule scheduleB = b.feedbackSchedule();
    double feedbackA = a.mFeedback;
    double feedbackB = b.mFeedback;
    const bool sections = a.mRate != kReferenceRate;
    for (int i = 0; i < n;) {
        feedbackA = scheduleA.at(i, feedbackA);
        feedbackB = scheduleB.at(i, feedbackB);
        int changeA;
        int changeB;
        const int endA = scheduleA.segment(i, n, changeA);
        const int endB = scheduleB.segment(i, n, changeB);
        const int end = std::min(endA, endB);
        const tPair feedback = {feedbackA, feedbackB};
#define KV_PAIR_RUN(order)                                                                         \
    if (sections) {                                                                                \
        if (waves)                                                                                 \
            LoopRunPair<order, true, true>(p, feedback, kLoopBound, i, end, input, sink);          \
        else                                                                                       \
            LoopRunPair<order, true, false>(p, feedback, kLoopBound, i, end, input, sink);         \
    } else {                                                                                       \
        if (waves)                                                                                 \
            LoopRunPair<order, false, true>(p, feedback, kLoopBound, i, end, input, sink);         \
        else                                                                                       \
            LoopRunPair<order, false, false>(p, feedback, kLoopBound, i, end, input, sink);        \
    }                                                                                              \
    break
        switch (a.mOrder) {
        case 1:
            KV_PAIR_RUN(1);
        case 2:
            KV_PAIR_RUN(2);
        case 3:
            KV_PAIR_RUN(3);
        default:
            KV_PAIR_RUN(4);
        }
#undef KV_PAIR_RUN
        if (end == endA) feedbackA = scheduleA.after(changeA, feedbackA);
        if (end == endB) feedbackB = scheduleB.after(changeB, feedbackB);
        i = end;
    }
    a.mFeedback = feedbackA;
    b.mFeedback = feedbackB;
    Split(p, sa, sb);
    if (foldA) invertFirstFilter(sa);
    if (foldB) invertFirstFilter(sb);
    a.giveLoop(sa);
    b.giveLoop(sb);
}

template <int kChannels>
void tStringVoice::pairPasses(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                              double leftB, double rightB, double* out, int n, bool addA) {
    tSteps steps;
    a.envelopePass(n, steps);
    b.envelopePass(n, steps);

    const tPair gain = {a.mVolume, b.mVolume};
    const tPair ampl = {a.mAmplFactor, b.mAmplFactor};
    double bufferA[kPass];
    double bufferB[kPass];
    // a's sample into the frame (or added to it), b's added: one store per value.
    const tPair placeA = {leftA, rightA};
    const tPair placeB = {leftB, rightB};
    auto play = [&bufferA, &bufferB, out, gain, ampl, placeA, placeB](auto add) {
        return [&bufferA, &bufferB, out, gain, ampl, placeA, placeB, add](int i, tPair v) {
            bufferA[i] = v[0];
            bufferB[i] = v[1];
            const tPair s = v * gain * ampl;
            if constexpr (kChannels == 1) {
                const double first = add ? out[i] + s[0] : s[0];
                out[i] = first + s[1];
            } else {
                const tPair sa = {s[0], s[0]};
                const tPair sb = {s[1], s[1]};
                tPair frame = placeA * sa;
                if (add) frame = tPair{out[2 * i], out[2 * i + 1]} + frame;
                frame = frame + placeB * sb;
                out[2 * i] = frame[0];
                out[2 * i + 1] = frame[1];
            }
        };
    };
    if (addA) {
        auto sink = play(std::true_type());
        pairLoop(a, b, n, sink);
    } else {
        auto sink = play(std::false_type());
        pairLoop(a, b, n, sink);
    }

    // Without an output stage the loop's samples are the output stage's.
    watchPeaks(a.mLoopPeak, a.mOutputPeak, bufferA, n);
    watchPeaks(b.mLoopPeak, b.mOutputPeak, bufferB, n);
    a.mCount += n;
    a.mNow += n;
    b.mCount += n;
    b.mNow += n;
}

template <int kChannels>
void tStringVoice::pairStagedPasses(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                                    double leftB, double rightB, double* out, int n, bool addA) {
    // As runPasses() for each: the envelopes first, then the loops, then the output stages.
    tSteps stepsA;
    tSteps stepsB;
    a.envelopePass(n, stepsA);
    b.envelopePass(n, stepsB);
    double bufferA[kPass];
    double bufferB[kPass];
    auto keep = [&bufferA, &bufferB](int i, tPair v) {
        bufferA[i] = v[0];
        bufferB[i] = v[1];
    };
    pairLoop(a, b, n, keep);
    watchPeak(a.mLoopPeak, bufferA, n);
    watchPeak(b.mLoopPeak, bufferB, n);
    if (a.finishMatches(b)) {
        finishPair<kChannels>({&a, bufferA, &stepsA, leftA, rightA},
                              {&b, bufferB, &stepsB, leftB, rightB}, out, n, addA);
    } else {
        a.finishPass<kChannels>(out, bufferA, n, stepsA, leftA, rightA, addA);
        b.finishPass<kChannels>(out, bufferB, n, stepsB, leftB, rightB, true);
    }
    watchPeak(a.mOutputPeak, bufferA, n);
    watchPeak(b.mOutputPeak, bufferB, n);
    a.mCount += n;
    a.mNow += n;
    b.mCount += n;
    b.mNow += n;
}

bool tStringVoice::finishMatches(const tStringVoice& other) const {
    return filterOrder() == other.filterOrder() && halfDry() == other.halfDry() &&
           (mDcFilter != 0) == (other.mDcFilter != 0);
}

template <int kChannels>
void tStringVoice::finishPair(const tFinishSide& a, const tFinishSide& b, double* out, int n,
                              bool addA) {
    a.voice->withFinishShape([&]<int kOrder, bool kHalfDry, bool kDc>() {
        finishPairOf<kChannels, kOrder, kHalfDry, kDc>(a, b, out, n, addA);
    });
}

// finishPassOf() for two voices, each in one half: the same operations in the same order. A
// held volume is taken as volume × (1 + 0·j) / 1, which is the volume itself.
template <int kChannels, int kOrder, bool kHalfDry, bool kDc>
void tStringVoice::finishPairOf(const tFinishSide& sideA, const tFinishSide& sideB, double* out,
                                int n, bool addA) {
    tStringVoice& a = *sideA.voice;
    tStringVoice& b = *sideB.voice;
    const tSteps& stepsA = *sideA.steps;
    const tSteps& stepsB = *sideB.steps;
    double* const bufferA = sideA.buffer;
    double* const bufferB = sideB.buffer;
    const tVolumeLaw lawA = a.volumeLaw();
    const tVolumeLaw lawB = b.volumeLaw();
    const tPair volume = {lawA.volume, lawB.volume};
    const tPair rampFrom = {lawA.ramp ? lawA.from : 1.0, lawB.ramp ? lawB.from : 1.0};
    const tPair rampStep = {lawA.ramp ? lawA.step : 0.0, lawB.ramp ? lawB.step : 0.0};
    const tPair rampOver = {lawA.ramp ? lawA.over : 1.0, lawB.ramp ? lawB.over : 1.0};
    tPair s[4];
    for (int m = 0; m < 4; ++m) s[m] = tPair{a.mOutputState[m], b.mOutputState[m]};
    const tPair dcR = {a.mDcBlocker.coefficient(), b.mDcBlocker.coefficient()};
    tPair dcX1 = {a.mDcBlocker.lastInput(), b.mDcBlocker.lastInput()};
    tPair dcY1 = {a.mDcBlocker.lastOutput(), b.mDcBlocker.lastOutput()};
    const bool lfoOnA = a.mLfoOn != 0;
    const bool lfoOnB = b.mLfoOn != 0;
    tPair lfo = {lfoOnA ? a.mLfoFactor : 1.0, lfoOnB ? b.mLfoFactor : 1.0};
    int lfoAtA = lfoOnA ? a.mLfoInterval - 1 - a.mNow % a.mLfoInterval : n;
    int lfoAtB = lfoOnB ? b.mLfoInterval - 1 - b.mNow % b.mLfoInterval : n;
    int groupA = 0;
    int groupB = 0;
    int stepAtA = stepsA.count > 1 ? stepsA.start[1] : n;
    int stepAtB = stepsB.count > 1 ? stepsB.start[1] : n;
    tPair k[6];
    for (int m = 0; m < 6; ++m) k[m] = tPair{stepsA.set[0].k[m], stepsB.set[0].k[m]};
    tPair ampl = {stepsA.ampl[0], stepsB.ampl[0]};
    const tPair placeA = {sideA.left, sideA.right};
    const tPair placeB = {sideB.left, sideB.right};
    int next = std::min(std::min(stepAtA, stepAtB), std::min(lfoAtA, lfoAtB));
    for (int j = 0; j < n; ++j) {
        if (j == next) [[unlikely]] {
            if (j == stepAtA) {
                ++groupA;
                for (int m = 0; m < 6; ++m) k[m][0] = stepsA.set[groupA].k[m];
                ampl[0] = stepsA.ampl[groupA];
                stepAtA = groupA + 1 < stepsA.count ? stepsA.start[groupA + 1] : n;
            }
            if (j == stepAtB) {
                ++groupB;
                for (int m = 0; m < 6; ++m) k[m][1] = stepsB.set[groupB].k[m];
                ampl[1] = stepsB.ampl[groupB];
                stepAtB = groupB + 1 < stepsB.count ? stepsB.start[groupB + 1] : n;
            }
            if (j == lfoAtA) {
                lfo[0] = 1.0 + a.mLfoAmount * a.mLfo.next();
                lfoAtA += a.mLfoInterval;
            }
            if (j == lfoAtB) {
                lfo[1] = 1.0 + b.mLfoAmount * b.mLfo.next();
                lfoAtB += b.mLfoInterval;
            }
            next = std::min(std::min(stepAtA, stepAtB), std::min(lfoAtA, lfoAtB));
        }
        const tPair e = {bufferA[j], bufferB[j]};
        tPair y = e;
        if constexpr (kOrder > 0) {
            y = outputfilter::step<kOrder>(k, s[0], s[1], s[2], s[3], e);
            if constexpr (kHalfDry) y = y + 0.5 * e;
            if (!(std::fabs(y[0]) <= kOutputFilterBound && std::fabs(y[1]) <= kOutputFilterBound))
                [[unlikely]] {
                for (int h = 0; h < 2; ++h) {
                    if (std::fabs(y[h]) <= kOutputFilterBound) continue; // also NaN
                    for (int m = 0; m < 4; ++m) s[m][h] = 0.0;
                    y[h] = 0.0;
                }
            }
        }
        if constexpr (kDc) y = tDcBlocker::step(dcR, dcX1, dcY1, y);
        if constexpr (kOrder > 0 || kDc) {
            bufferA[j] = y[0];
            bufferB[j] = y[1];
        }
        const double at = j;
        const tPair g = volume * (rampFrom + rampStep * at) / rampOver;
        const tPair v = y * g * ampl * lfo;
        if constexpr (kChannels == 1) {
            const double first = addA ? out[j] + v[0] : v[0];
            out[j] = first + v[1];
        } else {
            tPair frame = placeA * tPair{v[0], v[0]};
            if (addA) frame = tPair{out[2 * j], out[2 * j + 1]} + frame;
            frame = frame + placeB * tPair{v[1], v[1]};
            out[2 * j] = frame[0];
            out[2 * j + 1] = frame[1];
        }
    }
    for (int m = 0; m < 4; ++m) {
        a.mOutputState[m] = s[m][0];
        b.mOutputState[m] = s[m][1];
    }
    a.mDcBlocker.setState(dcX1[0], dcY1[0]);
    b.mDcBlocker.setState(dcX1[1], dcY1[1]);
    if (lfoOnA) a.mLfoFactor = lfo[0];
    if (lfoOnB) b.mLfoFactor = lfo[1];
}
