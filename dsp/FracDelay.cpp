#include "dsp/FracDelay.h"

#include <algorithm>
#include <cmath>

tFracDelay::tFracDelay() : mBuffer(kDefaultSize, 0.0) {}

void tFracDelay::resize(int n) {
    mBuffer.assign(std::max(n, 1), 0.0);
    if (mLength > size()) mLength = size();
    if (mWrite >= mLength) mWrite = 0;
    if (mRead >= mLength) mRead = 0;
}

void tFracDelay::clear(double v) {
    std::fill_n(mBuffer.begin(), mLength, 0.0);
    mY = v;
}

void tFracDelay::resetState() {
    mX1 = 0.0;
    mY = 0.0;
    mWrite = 0;
}

void tFracDelay::setDelay(double d) {
    const double longest = size() - 2.0;
    if (!(d >= 0.0)) d = 0.0;
    if (d > longest) d = longest;
    mLength = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    // A shorter line takes the write position with it, so that reads and writes keep their
    // distance from the first sample on.
    mWrite %= mLength;
    double p = (mLength - d + 2.0) + mWrite;
    while (p >= mLength) p -= mLength;
    const double whole = std::floor(p);
    mRead = static_cast<int>(whole);
    double f = 1.0 - (p - whole);
    if (f != 1.0) {
        if (f >= 0.5)
            f = f - 1.25 / (d * d);
        else
            f = f - 2.5 * f / (d * d);
    }
    if (f <= 0.0) {
        ++mRead;
        f = f + 1.0;
    }
    // Past one sample back the read position wraps to the start of the line.
    if (mRead >= mLength) mRead = 0;
    // Delays under about 1.1 samples would push the correction past a whole sample; the
    // allpass coefficient stays within [0, 1] so the interpolation never grows unstable.
    if (!(f >= 0.0)) f = 0.0;
    mC = (1.0 - f) / (1.0 + f);
}
