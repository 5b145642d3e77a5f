#include "effects/SimpleReverb.h"

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
