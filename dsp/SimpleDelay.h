// Plain integer delay line of the effects (the echo lines): write one sample, read one.
#pragma once

#include <vector>

class tSimpleDelay {
public:
    // A line of floor(d + 0.5) entries (at least 1), reading half way round.
    explicit tSimpleDelay(double d = 1.0);

    // The same with a new buffer (not while sounding: it allocates).
    void resize(double d);
    // Zeroes the buffer and the last output; the positions stay.
    void clear();
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
    int readPosition() const { return mRead; }
    int writePosition() const { return mWrite; }

private:
    int mLength = 1;
    int mWrite = 0;
    int mRead = 0;
    double mLast = 0.0;
    std::vector<double> mBuffer;
};
