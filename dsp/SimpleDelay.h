// Plain integer delay line of the effects (the echo lines): write one sample, read one.
#pragma once

#include "dsp/LazyClear.h"

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

    int length() const { return mLength; }
    // Entry i of the buffer as it is stored (entries a lazy clear has not reached yet still
    // hold their old values).
    double entry(int i) const { return mBuffer[i]; }
    int readPosition() const { return mRead; }
    int writePosition() const { return mWrite; }

private:
    int mLength = 1;
    int mWrite = 0;
    int mRead = 0;
    double mLast = 0.0;
    std::vector<double> mBuffer;
    tLazyClear mStale;
};
