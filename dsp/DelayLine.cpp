#include "dsp/DelayLine.h"

#include "dsp/DelayTuning.h"

#include <algorithm>
#include <cmath>

tDelayLine::tDelayLine() : mBuffer(kDefaultSize) {}

void tDelayLine::resize(int n) {
    mBuffer.reset(static_cast<std::size_t>(std::max(n, 1)));
    if (mLength > size()) mLength = size();
    if (mWrite >= mLength) mWrite = 0;
    if (mRead >= mLength) mRead = 0;
}

void tDelayLine::clear(double v) {
    std::fill_n(mBuffer.begin(), mLength, 0.0);
    mX1 = v;
    mY = v;
}

void tDelayLine::resetState() {
    mX1 = 0.0;
    mY = 0.0;
    mWrite = 0;
}

void tDelayLine::setLength(double d, int note) {
    // The buffer bounds the period: length = floor(d + 2) never exceeds its entries.
    const double longest = size() - 2.0;
    if (!(d >= 0.0)) d = 0.0;
    if (d > longest) d = longest;
    mLength = std::max(static_cast<int>(std::floor(d + 2.0)), 1);
    mWrite = 0;
    // The read position falls on the length itself when d is a whole number; it belongs at
    // the start of the line then, as for any very short line.
    mRead = static_cast<int>(std::floor(mLength - d + 2.0)) % mLength;
    const double t = DelayTuning(note);
    mC = (1.0 - t) / (1.0 + t);
}

void tDelayLine::setWholeLength(int whole, double c) {
    whole = std::clamp(whole, 1, std::max(size() - 2, 1));
    mLength = std::min(whole + 2, size());
    mWrite = 0;
    // The sample written whole − 1 writes before the current one is read, then output() is
    // read one sample later.
    mRead = 3 % mLength;
    mC = c;
}

int tDelayLine::clearRecent(int n, double v) {
    n = std::clamp(n, 0, mLength);
    const int first = mWrite - n;
    if (first >= 0) {
        std::fill(mBuffer.begin() + first, mBuffer.begin() + mWrite, 0.0);
    } else {
        std::fill(mBuffer.begin(), mBuffer.begin() + mWrite, 0.0);
        std::fill(mBuffer.begin() + (first + mLength), mBuffer.begin() + mLength, 0.0);
    }
    mX1 = v;
    mY = v;
    return n;
}
