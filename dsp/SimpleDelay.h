// Plain integer delay line of the effects (the echo lines): write one sample, read one.
#pragma once

#include "dsp/LazyClear.h"
#include "dsp/ZeroedBuffer.h"

#include <vector>

class tSimpleDelay {
public:
    // A line of floor(d + 0.5) entries (at least 1), reading half way round.
    explicit tSimpleDelay(double d = 1.0);

    // The same with a new buffer (not while sounding: it allocates).
    void resize(double d);
    // Zeroes the buffer and the last output; the positions stay.
    void clear();
    // The same at no cost now: the buffer reads as zero from here on, its entries being
    // zeroed only as the runs announced by prepareRun are about to read them.
    void clearLazily();
    // Before count write() calls (after a clearLazily): the entries they will read that were
    // not written since are zeroed.
    void prepareRun(int count) {
        if (!mStale.pending()) return;
        mStale.settle(mBuffer.data(), mRead, count, mLength);
        mStale.wrote(mWrite, count, mLength);
    }
    // Reads d − 1 samples behind the write position, wrapped into the line.
    void setDelay(int d);

    // Stores x and returns the sample read.
    double write(double x) {
        double* buffer = mBuffer.data();
        const int w = mWrite;
        const int r = mRead;
        const int n = mLength;
        buffer[w] = x;
        const double a = buffer[r];
        mWrite = w + 1 >= n ? w + 1 - n : w + 1;
        mRead = r + 1 >= n ? r + 1 - n : r + 1;
        mLast = a;
        return a;
    }
    double output() const { return mLast; }
    // count values x, stride apart, each become x + gain * y, y the line's step on input x.
    void echo(double* values, int stride, int count, double feedback, double gain);
    // The same for two lines of one length at the same positions, the first on frames[2i] and
    // the second on frames[2i + 1], side by side.
    static void echoPair(tSimpleDelay& first, tSimpleDelay& second, double* frames, int count,
                         double feedback, double gain);
    // True when the entries still to be read and the last output all lie below level.
    bool quiet(double level) const;
    bool inStepWith(const tSimpleDelay& other) const {
        return mLength == other.mLength && mWrite == other.mWrite && mRead == other.mRead;
    }
    // count steps y = write(output() * feedback + input(i)), each y handed to output(i, y),
    // with the positions and the last output kept in registers.
    template <class tInput, class tOutput>
    void run(int count, double feedback, tInput input, tOutput output) {
        double* buffer = mBuffer.data();
        const int n = mLength;
        int w = mWrite;
        int r = mRead;
        double last = mLast;
        for (int i = 0; i < count; ++i) {
            buffer[w] = last * feedback + input(i);
            last = buffer[r];
            w = w + 1 >= n ? w + 1 - n : w + 1;
            r = r + 1 >= n ? r + 1 - n : r + 1;
            output(i, last);
        }
        mWrite = w;
        mRead = r;
        mLast = last;
    }

    int length() const { return mLength; }
    // Entry i of the buffer as it is stored (entries a lazy clear has not reached yet still
    // hold their old values).
    double entry(int i) const { return mBuffer[i]; }
    int readPosition() const { return mRead; }
    int writePosition() const { return mWrite; }

private:
    // Samples (at most count) the line can step with neither position wrapping and no read
    // meeting an entry written in the same run; 0 when the read follows the write directly.
    int plainRun(int count) const;
    // Both positions moved on by n and the last output set.
    void moveOn(int n, double last);

    int mLength = 1;
    int mWrite = 0;
    int mRead = 0;
    double mLast = 0.0;
    tZeroedBuffer mBuffer;
    tLazyClear mStale;
};
