// Two string voices side by side. A voice's string loop is one long chain of dependent
// operations (the allpass, the loop filters), so a processor computing one voice waits on it
// most of the time; two voices' loops computed together, each in one half of a vector, take
// little longer than one. Each half does exactly the operations the voice alone would do, in
// the same order, so every sample is the same as from render(); where a run does not allow it
// (an output stage, a ramp, a rare step, voices that differ in their loop), the voices go on one
// after the other.
#include "string/StringVoice.h"

#include "dsp/SampleRate.h"
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

// LoopRun for two voices: samples from .. to − 1, each pair handed to the sink. The state is
// held in locals for the run, so that it stays in registers.
template <int kOrder, bool kSections, class tSink>
inline void LoopRunPair(tLoopPair& p, tPair feedback, double bound, int from, int to, tSink& sink) {
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
           a.mOrder == b.mOrder && a.goesStraight() && b.goesStraight()) {
        const int runA = a.quietRun(std::min(frames - i, kPass));
        const int runB = b.quietRun(std::min(frames - i, kPass));
        if (runA == 0 || runB == 0) break;
        const int n = std::min(runA, runB);
        pairPasses<kChannels>(a, leftA, rightA, b, leftB, rightB, out + i * kChannels, n, addA);
        i += n;
    }
    return i;
}

template <int kChannels>
void tStringVoice::pairPasses(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                              double leftB, double rightB, double* out, int n, bool addA) {
    tSteps steps;
    a.envelopePass(n, steps);
    b.envelopePass(n, steps);

    tLoopState sa;
    tLoopState sb;
    a.takeLoop(sa);
    b.takeLoop(sb);
    // "modulation" inverts the string inside the first loop filter, as in loopPassOf.
    if (a.mModulation) invertFirstFilter(sa);
    if (b.mModulation) invertFirstFilter(sb);
    tLoopPair p = Join(sa, sb);
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

    const tFeedbackSchedule scheduleA = a.feedbackSchedule();
    const tFeedbackSchedule scheduleB = b.feedbackSchedule();
    double feedbackA = a.mFeedback;
    double feedbackB = b.mFeedback;
    for (int i = 0; i < n;) {
        feedbackA = scheduleA.at(i, feedbackA);
        feedbackB = scheduleB.at(i, feedbackB);
        int changeA;
        int changeB;
        const int endA = scheduleA.segment(i, n, changeA);
        const int endB = scheduleB.segment(i, n, changeB);
        const int end = std::min(endA, endB);
        const tPair feedback = {feedbackA, feedbackB};
        auto run = [&](auto& sink) {
            const bool sections = a.mRate != kReferenceRate;
            switch (a.mOrder) {
            case 1:
                if (sections) return LoopRunPair<1, true>(p, feedback, kLoopBound, i, end, sink);
                return LoopRunPair<1, false>(p, feedback, kLoopBound, i, end, sink);
            case 2:
                if (sections) return LoopRunPair<2, true>(p, feedback, kLoopBound, i, end, sink);
                return LoopRunPair<2, false>(p, feedback, kLoopBound, i, end, sink);
            case 3:
                if (sections) return LoopRunPair<3, true>(p, feedback, kLoopBound, i, end, sink);
                return LoopRunPair<3, false>(p, feedback, kLoopBound, i, end, sink);
            default:
                if (sections) return LoopRunPair<4, true>(p, feedback, kLoopBound, i, end, sink);
                return LoopRunPair<4, false>(p, feedback, kLoopBound, i, end, sink);
            }
        };
        if (addA) {
            auto sink = play(std::true_type());
            run(sink);
        } else {
            auto sink = play(std::false_type());
            run(sink);
        }
        if (end == endA) feedbackA = scheduleA.after(changeA, feedbackA);
        if (end == endB) feedbackB = scheduleB.after(changeB, feedbackB);
        i = end;
    }
    a.mFeedback = feedbackA;
    b.mFeedback = feedbackB;
    Split(p, sa, sb);
    if (a.mModulation) invertFirstFilter(sa);
    if (b.mModulation) invertFirstFilter(sb);
    a.giveLoop(sa);
    b.giveLoop(sb);

    // Without an output stage the loop's samples are the output stage's.
    watchPeak(a.mLoopPeak, bufferA, n);
    watchPeak(a.mOutputPeak, bufferA, n);
    watchPeak(b.mLoopPeak, bufferB, n);
    watchPeak(b.mOutputPeak, bufferB, n);
    a.mCount += n;
    a.mNow += n;
    b.mCount += n;
    b.mNow += n;
}
