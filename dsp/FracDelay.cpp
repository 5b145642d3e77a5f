#include "dsp/FracDelay.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kSmallestRing = 3;
} // namespace

tFracDelay::tFracDelay() : mBuffer(kDefaultSize, 0.0) {}

void tFracDelay::resize(int n) {
    mBuffer.assign(std::max(n, kSmallestRing), 0.0);
    mWritten = 0;
    if (mLength > size()) mLength = size();
    if (mLag >= size()) mLag = size() - 1;
    if (mWrite >= size()) mWrite = 0;
    mRead = mWrite - mLag < 0 ? mWrite - mLag + size() : mWrite - mLag;
}

void tFracDelay::clear(double v) {
    // The entries written since the last clear are the mWritten ones just before the write
    // position, around the ring.
    const int n = size();
    const int first = mWrite - mWritten;
    if (first >= 0) {
        std::fill(mBuffer.begin() + first, mBuffer.begin() + mWrite, 0.0);
    } else {
        std::fill(mBuffer.begin(), mBuffer.begin() + mWrite, 0.0);
        std::fill(mBuffer.begin() + (first + n), mBuffer.end(), 0.0);
    }
    mWritten = 0;
    mX1 = v;
    mY = v;
}

void tFracDelay::resetState() {
    mX1 = 0.0;
    mY = 0.0;
}

void tFracDelay::setDelay(double d) {
    const double longest = size() - 2.0;
    if (!(d >= 0.0)) d = 0.0;
    if (d > longest) d = longest;
    mLength = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    // The read position a line of floor(d + 2) entries would take with its write position at
    // the start; the distance back from there to the start is the lag.
    double p = mLength - d + 2.0;
    while (p >= mLength) p -= mLength;
    const double whole = std::floor(p);
    int read = static_cast<int>(whole);
    double f = 1.0 - (p - whole);
    if (f != 1.0) {
        if (f >= 0.5)
            f = f - 1.25 / (d * d);
        else
            f = f - 2.5 * f / (d * d);
    }
    if (f <= 0.0) {
        ++read;
        f = f + 1.0;
    }
    // Past one sample back the read position wraps to the start of the line.
    if (read >= mLength) read = 0;
    // Delays under about 1.1 samples would push the correction past a whole sample; the
    // allpass coefficient stays within [0, 1] so the interpolation never grows unstable.
    if (!(f >= 0.0)) f = 0.0;
    mC = (1.0 - f) / (1.0 + f);
    mLag = read == 0 ? 0 : mLength - read;
    mRead = mWrite - mLag < 0 ? mWrite - mLag + size() : mWrite - mLag;
}
