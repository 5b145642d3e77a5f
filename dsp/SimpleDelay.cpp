#include "dsp/SimpleDelay.h"

#include <algorithm>
#include <cmath>

tSimpleDelay::tSimpleDelay(double d) {
    resize(d);
}

void tSimpleDelay::resize(double d) {
    const double rounded = std::floor(d + 0.5);
    // Lines of at most a billion entries; no length or one that is no number gives one entry.
    mLength = rounded >= 1.0 ? static_cast<int>(std::min(rounded, 1e9)) : 1;
    mBuffer.assign(mLength, 0.0);
    mWrite = 0;
    mRead = mLength / 2;
    mLast = 0.0;
    mStale.clean();
}

void tSimpleDelay::clear() {
    std::fill(mBuffer.begin(), mBuffer.end(), 0.0);
    mLast = 0.0;
    mStale.clean();
}

void tSimpleDelay::clearLazily() {
    mStale.clear(mLength);
    mLast = 0.0;
}

void tSimpleDelay::setDelay(int d) {
    // Taken modulo the length in 64 bits: delays of the line's length or more, and of zero
    // or less, still leave the read position inside the line.
    long long read = (static_cast<long long>(mWrite) - d + 1) % mLength;
    if (read < 0) read += mLength;
    mRead = static_cast<int>(read);
}
