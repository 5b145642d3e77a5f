#include "effects/SimpleReverb.h"

#include "dsp/LanePair.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kRatio[tSimpleReverb::kLines] = {0.164631, 0.513434, 1.0, 0.830484};
constexpr double kGain[tSimpleReverb::kLines] = {0.7, 0.7, 0.62, -0.71};

// The smallest prime not below odd(n).
int PrimeFrom(int n) {
    if (n % 2 == 0) ++n;
    while (!tSimpleReverb::IsPrime(n)) ++n;
    return n;
}

// n at the rate: scaled and rounded (n itself at the reference rate).
int AtRate(int n, int rate) {
    return static_cast<int>((static_cast<long long>(n) * rate + kReferenceRate / 2) /
                            kReferenceRate);
}
} // namespace

bool tSimpleReverb::IsPrime(int n) {
    if (n < 2) return false;
    if (n % 2 == 0) return n == 2;
    for (int d = 3; d <= n / d; d += 2) {
        if (n % d == 0) return false;
    }
    return true;
}

tSimpleReverb::tSimpleReverb(int capacityBase) : mCapacityBase(capacityBase) {
    allocate();
}

void tSimpleReverb::allocate() {
    for (int k = 0; k < kLines; ++k) {
        tLine& line = mLine[k];
        line.capacity = std::max(1, AtRate(static_cast<int>(mCapacityBase * kRatio[k]), mRate));
        line.memory.reset(line.capacity);
        line.write = line.read = 0;
        line.last = 0.0;
        line.stale.clean();
    }
    mPending = false;
    mM1 = mM2 = 0.0;
}

void tSimpleReverb::setSampleRate(int rate) {
    if (rate == mRate) return;
    mRate = rate;
    allocate();
}

void tSimpleReverb::setLength(int n) {
    for (int k = 0; k < kLines; ++k) {
        tLine& line = mLine[k];
        // The prime length at the reference rate; at another rate the same duration, so that
        // the echoes fall at the same times as at the reference rate.
        const int length = PrimeFrom(static_cast<int>(std::max(n, 0) * kRatio[k]));
        line.length = std::min(AtRate(length, mRate), line.capacity);
        line.read = line.write - line.length + 1;
        while (line.read < 0) line.read += line.capacity;
        // A pass through line k takes its length in samples: the gain per pass follows the
        // pass's duration against the line at the reference rate.
        mGain[k] = kGain[k];
        if (mRate != kReferenceRate) {
            const double passes = line.length / (length * rateScale(mRate));
            mGain[k] = std::copysign(std::pow(std::fabs(kGain[k]), passes), kGain[k]);
        }
    }
}

void tSimpleReverb::clear() {
    for (tLine& line : mLine) {
        line.stale.clear(line.capacity);
        line.last = 0.0;
    }
    mPending = true;
    mM1 = mM2 = 0.0;
}

bool tSimpleReverb::quiet(double level) const {
    // A line reads each entry length - 1 samples after writing it: the entries from the read
    // position up to the write position are read before they are written again.
    for (const tLine& line : mLine) {
        if (!(std::fabs(line.last) <= level)) return false;
        const double* memory = line.memory.get();
        const bool within = line.read <= line.write
                                ? line.stale.within(memory, line.read, line.write, 0.0, level)
                                : line.stale.within(memory, line.read, line.capacity, 0.0, level) &&
                                      line.stale.within(memory, 0, line.write, 0.0, level);
        if (!within) return false;
    }
    return true;
}

namespace {
// One line of each reverb at once: writes the pair's lanes at entry at, reads the entries at
// from.
inline tLanePair PushLanes(double* left, double* right, int at, int from, tLanePair value) {
    StoreLanes(left + at, right + at, value);
    return LoadLanes(left + from, right + from);
}
} // namespace

void tSimpleReverb::processStereo(tSimpleReverb& left, tSimpleReverb& right, double* buf,
                                  int frames) {
    bool alike = true;
    for (int k = 0; k < kLines; ++k) {
        const tLine& a = left.mLine[k];
        const tLine& b = right.mLine[k];
        alike = alike && a.capacity == b.capacity && a.write == b.write && a.read == b.read;
    }
    if (!alike) {
        for (int f = 0; f < frames; ++f) {
            left.step(buf[2 * f]);
            buf[2 * f] = left.m1();
            right.step(buf[2 * f + 1]);
            buf[2 * f + 1] = right.m1();
        }
        return;
    }
    // The state in locals for the block: the lines' writes into memory do not make the
    // compiler fetch it again every frame.
    double* l[kLines];
    double* r[kLines];
    int write[kLines];
    int read[kLines];
    int capacity[kLines];
    tLanePair last[kLines];
    tLanePair gain[kLines];
    for (int k = 0; k < kLines; ++k) {
        l[k] = left.mLine[k].memory.get();
        r[k] = right.mLine[k].memory.get();
        write[k] = left.mLine[k].write;
        read[k] = left.mLine[k].read;
        capacity[k] = left.mLine[k].capacity;
        last[k] = LanePair(left.mLine[k].last, right.mLine[k].last);
        gain[k] = LanePair(left.mGain[k], right.mGain[k]);
    }
    const tLanePair mix = LanePair(left.mMix, right.mMix);
    const tLanePair dry = LanePair(1.0 - left.mMix, 1.0 - right.mMix);
    tLanePair m1 = LanePair(left.mM1, right.mM1);
    tLanePair m2 = LanePair(left.mM2, right.mM2);
    for (int f = 0; f < frames;) {
        // Up to where a position wraps.
        int run = frames - f;
        for (int k = 0; k < kLines; ++k)
            run = std::min({run, capacity[k] - write[k], capacity[k] - read[k]});
        for (int i = 0; i < run; ++i, ++f) {
            const tLanePair x = LoadPair(buf + 2 * f);
            const tLanePair a = last[0];
            const tLanePair in1 = x + gain[0] * a;
            last[0] = PushLanes(l[0], r[0], write[0] + i, read[0] + i, in1);
            const tLanePair y1 = a - gain[0] * in1;
            const tLanePair b = last[1];
            const tLanePair in2 = y1 + gain[1] * b;
            last[1] = PushLanes(l[1], r[1], write[1] + i, read[1] + i, in2);
            const tLanePair y2 = b - gain[1] * in2;
            last[2] = PushLanes(l[2], r[2], write[2] + i, read[2] + i, y2 + gain[2] * last[2]);
            last[3] = PushLanes(l[3], r[3], write[3] + i, read[3] + i, y2 + gain[3] * last[3]);
            m1 = dry * x + mix * last[2];
            m2 = dry * x + mix * last[3];
            StorePair(buf + 2 * f, m1);
        }
        for (int k = 0; k < kLines; ++k) {
            write[k] += run;
            if (write[k] >= capacity[k]) write[k] = 0;
            read[k] += run;
            if (read[k] >= capacity[k]) read[k] = 0;
        }
    }
    for (int k = 0; k < kLines; ++k) {
        for (tSimpleReverb* side : {&left, &right}) {
            side->mLine[k].write = write[k];
            side->mLine[k].read = read[k];
        }
        left.mLine[k].last = last[k][0];
        right.mLine[k].last = last[k][1];
    }
    left.mM1 = m1[0];
    right.mM1 = m1[1];
    left.mM2 = m2[0];
    right.mM2 = m2[1];
}
