#include "effects/CombReverb.h"

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
    mMemory.reset(new double[total]());
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

namespace {
template <class tComb> inline double CombStep(tComb& comb, double in) {
    const double out = comb.memory[comb.index];
    comb.store = out * comb.d2 + comb.store * comb.d1;
    comb.memory[comb.index] = in + comb.store * comb.feedback;
    if (++comb.index >= comb.size) comb.index = 0;
    return out;
}

template <class tAllpass> inline double AllpassStep(tAllpass& allpass, double in) {
    const double b = allpass.memory[allpass.index];
    allpass.memory[allpass.index] = in + b * kAllpassFeedback;
    if (++allpass.index >= allpass.size) allpass.index = 0;
    return b - in;
}
} // namespace

template <int Combs> void tCombReverb::runMono(double* buf, int count) {
    tComb* combs = mComb[0];
    tAllpass* allpasses = mAllpass[0];
    for (int i = 0; i < count; ++i) {
        const double x = buf[i];
        const double in = mGain * x;
        double s = 0.0;
        for (int k = 0; k < Combs; ++k) s += CombStep(combs[k], in);
        for (int k = 0; k < kAllpasses; ++k) s = AllpassStep(allpasses[k], s);
        buf[i] = s * mWet1 + mDry * x;
    }
}

template <int Combs> void tCombReverb::runStereo(double* buf, int frames) {
    tComb* left = mComb[0];
    tComb* right = mComb[1];
    for (int i = 0; i < frames; ++i) {
        const double l = buf[2 * i];
        const double r = buf[2 * i + 1];
        const double in = mGain * (l + r);
        double sl = 0.0;
        double sr = 0.0;
        for (int k = 0; k < Combs; ++k) {
            sl += CombStep(left[k], in);
            sr += CombStep(right[k], in);
        }
        for (int k = 0; k < kAllpasses; ++k) {
            sl = AllpassStep(mAllpass[0][k], sl);
            sr = AllpassStep(mAllpass[1][k], sr);
        }
        buf[2 * i] = sl * mWet1 + sr * mWet2 + mDry * l;
        buf[2 * i + 1] = sr * mWet1 + sl * mWet2 + mDry * r;
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
