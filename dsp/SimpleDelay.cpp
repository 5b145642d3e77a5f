#include "dsp/SimpleDelay.h"

#include "dsp/LanePair.h"

#include <algorithm>
#include <cmath>

tSimpleDelay::tSimpleDelay(double d) {
    resize(d);
}

void tSimpleDelay::resize(double d) {
    const double rounded = std::floor(d + 0.5);
    // Lines of at most a billion entries; no length or one that is no number gives one entry.
    mLength = rounded >= 1.0 ? static_cast<int>(std::min(rounded, 1e9)) : 1;
    mBuffer.reset(static_cast<std::size_t>(mLength));
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

int tSimpleDelay::plainRun(int count) const {
    // The read trails the write by lag entries: a run no longer than that reads only entries
    // written before it.
    const int lag = mWrite >= mRead ? mWrite - mRead : mWrite - mRead + mLength;
    return std::min({count, mLength - mWrite, mLength - mRead, lag});
}

void tSimpleDelay::moveOn(int n, double last) {
    mWrite += n;
    if (mWrite >= mLength) mWrite = 0;
    mRead += n;
    if (mRead >= mLength) mRead = 0;
    mLast = last;
}

void tSimpleDelay::echo(double* values, int stride, int count, double feedback, double gain) {
    const tLanePair feedbacks = Broadcast(feedback);
    const tLanePair gains = Broadcast(gain);
    while (count > 0) {
        const int n = stride == 1 ? plainRun(count) : 0;
        if (n < 2) {
            // Sample by sample: one sample before a wrap, or all of them when the values are
            // not consecutive or the read follows the write directly.
            const int steps = n == 1 ? 1 : count;
            run(
                steps, feedback, [&](int i) { return values[stride * i]; },
                [&](int i, double y) { values[stride * i] += gain * y; });
            values += stride * steps;
            count -= steps;
            continue;
        }
        // In a plain run the reads are the old entries r, r + 1, ... and each write takes the
        // read before it: two samples at a time.
        double* written = mBuffer.data() + mWrite;
        const double* read = mBuffer.data() + mRead;
        int i = 0;
        for (; i + 1 < n; i += 2) {
            const tLanePair x = LoadPair(values + i);
            const tLanePair before = i == 0 ? LanePair(mLast, read[0]) : LoadPair(read + i - 1);
            StorePair(written + i, before * feedbacks + x);
            StorePair(values + i, x + gains * LoadPair(read + i));
        }
        if (i < n) {
            const double x = values[i];
            written[i] = read[i - 1] * feedback + x;
            values[i] = x + gain * read[i];
        }
        moveOn(n, read[n - 1]);
        values += n;
        count -= n;
    }
}

void tSimpleDelay::echoPair(tSimpleDelay& first, tSimpleDelay& second, double* frames, int count,
                            double feedback, double gain) {
    const tLanePair feedbacks = Broadcast(feedback);
    const tLanePair gains = Broadcast(gain);
    while (count > 0) {
        const int n = first.plainRun(count);
        if (n == 0) {
            // The read follows the write directly: each line sample by sample.
            first.echo(frames, 2, count, feedback, gain);
            second.echo(frames + 1, 2, count, feedback, gain);
            return;
        }
        double* written1 = first.mBuffer.data() + first.mWrite;
        double* written2 = second.mBuffer.data() + second.mWrite;
        const double* read1 = first.mBuffer.data() + first.mRead;
        const double* read2 = second.mBuffer.data() + second.mRead;
        tLanePair last = LanePair(first.mLast, second.mLast);
        for (int i = 0; i < n; ++i) {
            const tLanePair x = LoadPair(frames + 2 * i);
            StoreLanes(written1 + i, written2 + i, last * feedbacks + x);
            last = LoadLanes(read1 + i, read2 + i);
            StorePair(frames + 2 * i, x + gains * last);
        }
        first.moveOn(n, last[0]);
        second.moveOn(n, last[1]);
        frames += 2 * n;
        count -= n;
    }
}

bool tSimpleDelay::quiet(double level) const {
    // The read trails the write: the entries from the read position up to the write position
    // are read before they are written again.
    if (!(std::fabs(mLast) <= level)) return false;
    if (mRead <= mWrite) return mStale.within(mBuffer.data(), mRead, mWrite, 0.0, level);
    return mStale.within(mBuffer.data(), mRead, mLength, 0.0, level) &&
           mStale.within(mBuffer.data(), 0, mWrite, 0.0, level);
}
