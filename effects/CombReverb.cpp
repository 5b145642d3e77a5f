#include "effects/CombReverb.h"

#include "dsp/LanePair.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
// The input gain is the single-precision value of 0.015.
constexpr double kInputGain = static_cast<double>(0.015f);
constexpr double kAllpassFeedback = 0.5;
// The frequency at which a comb's damping filter has the same gain at every rate.
constexpr double kDampingMatchHz = 8000.0;

// The damping filter y = (1 - d)·x + d·y at rate: the pole whose gain at kDampingMatchHz is
// the gain pole d has there at the reference rate. The treble then dies away as fast per
// pass, and (the passes lasting as long) per second; the gain at 0 Hz stays 1.
double DampingAtRate(double d, int rate) {
    if (rate == kReferenceRate || !(d > 0.0 && d < 1.0)) return d;
    const double pi = 3.141592653589793;
    const double reference = std::cos(2.0 * pi * kDampingMatchHz / kReferenceRate);
    const double gain2 = (1.0 - d) * (1.0 - d) / (1.0 - 2.0 * d * reference + d * d);
    // (1 - p)^2 = gain2 (1 - 2 p c + p^2) for the pole p at this rate, the root inside the
    // unit circle.
    const double c = std::cos(2.0 * pi * kDampingMatchHz / rate);
    const double b = (1.0 - gain2 * c) / (1.0 - gain2);
    return b - std::sqrt(std::max(b * b - 1.0, 0.0));
}
} // namespace

void tCombReverb::clearMemory() {
    for (int c = 0; c < 2; ++c) {
        for (tComb& comb : mComb[c]) {
            comb.stale.clear(comb.size);
            comb.store = 0.0;
        }
        for (tAllpass& allpass : mAllpass[c]) allpass.stale.clear(allpass.size);
    }
    mPending = true;
}

void tCombReverb::settle(int channels, int n) {
    // Each comb and allpass reads and then writes the entry at its index, which moves on by
    // one per sample.
    mPending = false;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < kMaxCombs; ++k) {
            tComb& comb = mComb[c][k];
            if (c < channels && k < mNumCombs)
                comb.stale.advance(comb.memory, comb.index, n, comb.size);
            mPending = mPending || comb.stale.pending();
        }
        for (tAllpass& allpass : mAllpass[c]) {
            if (c < channels) allpass.stale.advance(allpass.memory, allpass.index, n, allpass.size);
            mPending = mPending || allpass.stale.pending();
        }
    }
}

int tCombReverb::LengthAt(int length, int rate) {
    return static_cast<int>((static_cast<long long>(length) * rate + kReferenceRate / 2) /
                            kReferenceRate);
}

void tCombReverb::layOut() {
    int total = 0;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < kMaxCombs; ++k) total += LengthAt(kCombLength[c][k], mRate);
        for (int k = 0; k < kAllpasses; ++k) total += LengthAt(kAllpassLength[c][k], mRate);
    }
    mMemorySize = total;
    mMemory.reset(total);
    mPending = false;
    double* next = mMemory.get();
    for (int c = 0; c < 2; ++c) {
        for (tComb& comb : mComb[c]) {
            comb.memory = next;
            comb.size = LengthAt(kCombLength[c][&comb - mComb[c]], mRate);
            comb.index = 0;
            comb.store = 0.0;
            comb.stale.clean();
            next += comb.size;
        }
        for (tAllpass& allpass : mAllpass[c]) {
            allpass.memory = next;
            allpass.size = LengthAt(kAllpassLength[c][&allpass - mAllpass[c]], mRate);
            allpass.index = 0;
            allpass.stale.clean();
            next += allpass.size;
        }
    }
}

tCombReverb::tCombReverb() : mGain(kInputGain) {
    layOut();
    setWet(0.3);
    setRoomSize(0.6);
    setDry(1.0);
    setDamp(0.5);
    setWidth(0.8);
}

void tCombReverb::setRoomSize(double r) {
    mRoomRaw = r;
    mRoomSize = 0.28 * r + 0.7;
}

void tCombReverb::setDamp(double d) {
    mDampRaw = d;
    mDamp = 0.4 * d;
}

void tCombReverb::setWet(double w) {
    mWetRaw = w;
    mWet = 3.0 * w;
}

void tCombReverb::setDry(double v) {
    mDry = v;
}

void tCombReverb::setWidth(double v) {
    mWidth = v;
}

void tCombReverb::setNumCombs(int n) {
    mNumCombs = std::clamp(n, 4, kMaxCombs);
}

void tCombReverb::setSampleRate(int rate) {
    if (rate == mRate) return;
    mRate = rate;
    layOut();
    recompute();
}

void tCombReverb::recompute() {
    mWet1 = mWet * (mWidth / 2.0 + 0.5);
    mWet2 = mWet * (1.0 - mWidth) / 2.0;
    mRoomSize1 = mRoomSize;
    mDamp1 = mDamp;
    mGain = kInputGain;
    const double damp = DampingAtRate(mDamp1, mRate);
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < mNumCombs; ++k) {
            tComb& comb = mComb[c][k];
            comb.feedback = mRoomSize1;
            // The feedback acts once per pass: a pass that is not exactly the reference
            // length scaled by the rate (lengths are whole samples) takes the gain of its own
            // duration, so every comb dies away as fast per second as at the reference rate.
            if (mRate != kReferenceRate)
                comb.feedback =
                    std::pow(mRoomSize1, comb.size / (kCombLength[c][k] * rateScale(mRate)));
            comb.d1 = damp;
            comb.d2 = 1.0 - damp;
        }
    }
}

bool tCombReverb::quiet(int channels, double level) const {
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < mNumCombs; ++k) {
            const tComb& comb = mComb[c][k];
            if (!(std::fabs(comb.store) <= level) ||
                !comb.stale.within(comb.memory, 0, comb.size, 0.0, level))
                return false;
        }
        for (const tAllpass& allpass : mAllpass[c])
            if (!allpass.stale.within(allpass.memory, 0, allpass.size, 0.0, level)) return false;
    }
    return true;
}

int tCombReverb::unwrappedRun(int channels, int combs, int limit) const {
    int n = limit;
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < combs; ++k) n = std::min(n, mComb[c][k].size - mComb[c][k].index);
        for (const tAllpass& allpass : mAllpass[c]) n = std::min(n, allpass.size - allpass.index);
    }
    return n;
}

void tCombReverb::moveOn(int channels, int combs, int n) {
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < combs; ++k) {
            tComb& comb = mComb[c][k];
            comb.index += n;
            if (comb.index >= comb.size) comb.index = 0;
        }
        for (tAllpass& allpass : mAllpass[c]) {
            allpass.index += n;
            if (allpass.index >= allpass.size) allpass.index = 0;
        }
    }
}

// Per sample each comb reads its entry, damps it into its filter store and writes the input
// plus the fed-back store in its place; each allpass reads b, writes in + b/2 and passes on
// b - in. Within a span no index wraps, so the entries are consecutive and the combs' filter
// stores stay in registers.
template <int Combs> void tCombReverb::monoSpan(double* buf, int n) {
    double* comb[Combs];
    double store[Combs];
    double feedback[Combs];
    for (int k = 0; k < Combs; ++k) {
        const tComb& c = mComb[0][k];
        comb[k] = c.memory + c.index;
        store[k] = c.store;
        feedback[k] = c.feedback;
    }
    // The combs in use share their damping (recompute sets them together).
    const double d1 = mComb[0][0].d1;
    const double d2 = mComb[0][0].d2;
    double* allpass[kAllpasses];
    for (int k = 0; k < kAllpasses; ++k) allpass[k] = mAllpass[0][k].memory + mAllpass[0][k].index;
    const double gain = mGain;
    const double wet = mWet1;
    const double dry = mDry;
    for (int i = 0; i < n; ++i) {
        const double x = buf[i];
        const double in = gain * x;
        double s = 0.0;
#pragma GCC unroll 8
        for (int k = 0; k < Combs; ++k) {
            const double out = comb[k][i];
            store[k] = out * d2 + store[k] * d1;
            comb[k][i] = in + store[k] * feedback[k];
            s += out;
        }
#pragma GCC unroll 4
        for (int k = 0; k < kAllpasses; ++k) {
            const double b = allpass[k][i];
            allpass[k][i] = s + b * kAllpassFeedback;
            s = b - s;
        }
        buf[i] = s * wet + dry * x;
    }
    for (int k = 0; k < Combs; ++k) mComb[0][k].store = store[k];
}

template <int Combs> void tCombReverb::stereoSpan(double* buf, int n) {
    double* left[Combs];
    double* right[Combs];
    tLanePair store[Combs];
    tLanePair feedback[Combs];
    for (int k = 0; k < Combs; ++k) {
        const tComb& l = mComb[0][k];
        const tComb& r = mComb[1][k];
        left[k] = l.memory + l.index;
        right[k] = r.memory + r.index;
        store[k] = LanePair(l.store, r.store);
        feedback[k] = LanePair(l.feedback, r.feedback);
    }
    // The combs in use share their damping (recompute sets them together).
    const tLanePair d1 = Broadcast(mComb[0][0].d1);
    const tLanePair d2 = Broadcast(mComb[0][0].d2);
    double* allpassLeft[kAllpasses];
    double* allpassRight[kAllpasses];
    for (int k = 0; k < kAllpasses; ++k) {
        allpassLeft[k] = mAllpass[0][k].memory + mAllpass[0][k].index;
        allpassRight[k] = mAllpass[1][k].memory + mAllpass[1][k].index;
    }
    const double gain = mGain;
    const tLanePair half = Broadcast(kAllpassFeedback);
    const tLanePair wet1 = Broadcast(mWet1);
    const tLanePair wet2 = Broadcast(mWet2);
    const tLanePair dry = Broadcast(mDry);
    for (int i = 0; i < n; ++i) {
        const tLanePair x = LanePair(buf[2 * i], buf[2 * i + 1]);
        const tLanePair in = Broadcast(gain * (x[0] + x[1]));
        tLanePair s = Broadcast(0.0);
#pragma GCC unroll 8
        for (int k = 0; k < Combs; ++k) {
            const tLanePair out = LoadLanes(left[k] + i, right[k] + i);
            store[k] = out * d2 + store[k] * d1;
            StoreLanes(left[k] + i, right[k] + i, in + store[k] * feedback[k]);
            s += out;
        }
#pragma GCC unroll 4
        for (int k = 0; k < kAllpasses; ++k) {
            const tLanePair b = LoadLanes(allpassLeft[k] + i, allpassRight[k] + i);
            StoreLanes(allpassLeft[k] + i, allpassRight[k] + i, s + b * half);
            s = b - s;
        }
        // Each channel: its own sum by wet1, the other's by wet2, plus its dry input.
        const tLanePair y = s * wet1 + Swapped(s) * wet2 + dry * x;
        buf[2 * i] = y[0];
        buf[2 * i + 1] = y[1];
    }
    for (int k = 0; k < Combs; ++k) StoreLanes(&mComb[0][k].store, &mComb[1][k].store, store[k]);
}

template <int Combs> void tCombReverb::runMono(double* buf, int count) {
    for (int done = 0; done < count;) {
        const int n = unwrappedRun(1, Combs, count - done);
        monoSpan<Combs>(buf + done, n);
        moveOn(1, Combs, n);
        done += n;
    }
}

template <int Combs> void tCombReverb::runStereo(double* buf, int frames) {
    for (int done = 0; done < frames;) {
        const int n = unwrappedRun(2, Combs, frames - done);
        stereoSpan<Combs>(buf + 2 * done, n);
        moveOn(2, Combs, n);
        done += n;
    }
}

void tCombReverb::processMono(double* buf, int count) {
    if (mPending) settle(1, count);
    switch (mNumCombs) {
    case 4:
        runMono<4>(buf, count);
        break;
    case 5:
        runMono<5>(buf, count);
        break;
    case 6:
        runMono<6>(buf, count);
        break;
    case 7:
        runMono<7>(buf, count);
        break;
    default:
        runMono<8>(buf, count);
        break;
    }
}

void tCombReverb::processStereo(double* buf, int frames) {
    if (mPending) settle(2, frames);
    switch (mNumCombs) {
    case 4:
        runStereo<4>(buf, frames);
        break;
    case 5:
        runStereo<5>(buf, frames);
        break;
    case 6:
        runStereo<6>(buf, frames);
        break;
    case 7:
        runStereo<7>(buf, frames);
        break;
    default:
        runStereo<8>(buf, frames);
        break;
    }
}
