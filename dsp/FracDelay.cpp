#include "dsp/FracDelay.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kSmallestRing = 3;
} // namespace

tFracDelay::tFracDelay() : mBuffer(kDefaultSize) {}

void tFracDelay::resize(int n) {
    mBuffer.reset(static_cast<std::size_t>(std::max(n, kSmallestRing)));
    mWritten = 0;
    if (mLength > size()) mLength = size();
    if (mLag >= size()) mLag = size() - 1;
    if (mWrite >= size()) mWrite = 0;
    mRead = mWrite - mLag < 0 ? mWrite - mLag + size() : mWrite - mLag;
}

int tFracDelay::clear(double v) {
    mWritten = 0;
    mX1 = v;
    mY = v;
    return 0;
}

void tFracDelay::resetState() {
    mX1 = 0.0;
    mY = 0.0;
}

tFracDelay::tTap tFracDelay::tapFor(double d, int size) {
    const double longest = size - 2.0;
    if (!(d >= 0.0)) d = 0.0;
    if (d > longest) d = longest;
    tTap tap{};
    tap.length = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    // The read position a line of floor(d + 2) entries would take with its write position at
    // the start; the distance back from there to the start is the lag.
    double p = tap.length - d + 2.0;
    while (p >= tap.length) p -= tap.length;
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
    if (read >= tap.length) read = 0;
    // Delays under about 1.1 samples would push the correction past a whole sample; the
    // allpass coefficient stays within [0, 1] so the interpolation never grows unstable.
    if (!(f >= 0.0)) f = 0.0;
    tap.lag = read == 0 ? 0 : tap.length - read;
    tap.fraction = f;
    return tap;
}

void tFracDelay::setTap(int lag, double fraction) {
    mC = (1.0 - fraction) / (1.0 + fraction);
    mLag = lag;
    mRead = mWrite - mLag < 0 ? mWrite - mLag + size() : mWrite - mLag;
}

void tFracDelay::setDelay(double d) {
    const tTap tap = tapFor(d, size());
    mLength = tap.length;
    setTap(tap.lag, tap.fraction);
}

double tFracDelay::delayOf(double d, int size) {
    const tTap tap = tapFor(d, size);
    return tap.lag + tap.fraction;
}

void tFracDelay::setTapDelay(double delay) {
    const double longest = size() - 2.0;
    if (!(delay >= 0.0)) delay = 0.0;
    if (delay > longest) delay = longest;
    const int lag = delay <= 1.0 ? 0 : static_cast<int>(std::ceil(delay)) - 1;
    mLength = lag + 2;
    setTap(lag, delay - lag);
}
