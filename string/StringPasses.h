// What the string voice's passes over a run share (StringVoiceRun.cpp, StringVoicePair.cpp):
// the string and its loop filters as plain values, the loop's inner run, where the feedback
// changes within a pass, putting samples into a block, and peaks.
#pragma once

#include "dsp/BlockOps.h"
#include "dsp/DelayLine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stringpasses {

constexpr double kLoud = std::numeric_limits<double>::infinity();

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

// The largest magnitude of n values; infinity when one is no number or infinite. Two values
// at a time, without a branch per value.
inline double Peak(const double* x, int n) {
    if (!AllFiniteValues(x, n)) return kLoud;
    return MaxMagnitude(x, n);
}

// Keeps the loop's samples in a buffer.
struct tKeep {
    double* buffer;
    void operator()(int i, double e) { buffer[i] = e; }
};

// The string and the loop filters as plain values for one pass.
struct tLoopState {
    tDelayLine::tCursor line;
    double b0[4];
    double b1[4];
    double a1[4];
    double x1[4];
    double y[4];
};

// Samples from .. to − 1 of the loop at a constant feedback, each handed to the sink. The loop
// filters are one-poles (y = b0·x + a1·y) at 44100 Hz, sections with a zero (y = b0·x + b1·x1 +
// a1·y) elsewhere. Beyond the bound (or no number) the whole loop starts from rest.
template <int kOrder, bool kSections, class tInput, class tSink>
inline void LoopRun(tLoopState& s, double feedback, double bound, int from, int to, tInput input,
                    tSink& sink) {
    for (int i = from; i < to;) {
        // Up to where a position of the string wraps round.
        const int end = std::min(to, i + s.line.span());
        for (; i < end; ++i) {
            double x = input(s.line.y);
#pragma GCC unroll 4
            for (int k = 0; k < kOrder; ++k) {
                if constexpr (kSections) {
                    s.y[k] = s.b0[k] * x + s.b1[k] * s.x1[k] + s.a1[k] * s.y[k];
                    s.x1[k] = x;
                } else {
                    s.y[k] = s.b0[k] * x + s.a1[k] * s.y[k];
                }
                x = s.y[k];
            }
            double v = x * feedback;
            if (!(std::fabs(v) <= bound)) [[unlikely]] {
                s.line.clear();
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) {
                    s.x1[k] = 0.0;
                    s.y[k] = 0.0;
                }
                v = 0.0;
            }
            s.line.stepWithin(v);
            sink(i, v);
        }
        s.line.wrap();
    }
}

// Where a voice's feedback changes within a pass: the off-feedback takes over before the
// sample at the off delay, a soft-damp step follows each sample at a multiple of its interval.
struct tFeedbackSchedule {
    enum { kNone, kOff, kDamp };
    int offDelayAt = -1; // index in the pass, or -1
    int softDamp = 0;    // interval, or 0
    int now = 0;         // audible time at index 0
    double offFeedback = 0.0;
    bool capped = false; // a soft-damp step stops at the off-feedback

    // The feedback at the start of a segment at i, given the one before.
    double at(int i, double feedback) const { return i == offDelayAt ? offFeedback : feedback; }
    // The end of the segment from i (at most n) that keeps one feedback; change tells what
    // happens at its end.
    int segment(int i, int n, int& change) const {
        int end = n;
        change = kNone;
        if (offDelayAt > i && offDelayAt < end) {
            end = offDelayAt;
            change = kOff;
        }
        if (softDamp != 0) {
            const int step = i + (softDamp - (now + i) % softDamp) % softDamp;
            if (step < end) {
                end = step + 1;
                change = kDamp;
            }
        }
        return end;
    }
    // The feedback after a segment that ended with change.
    double after(int change, double feedback) const {
        if (change == kOff) return offFeedback;
        if (change == kDamp) {
            feedback = std::sqrt(feedback);
            if (capped && feedback > offFeedback) feedback = offFeedback;
        }
        return feedback;
    }
};

} // namespace stringpasses
