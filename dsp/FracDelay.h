// Freely tunable fractional delay line (the flute's jet): whole-sample circular buffer plus
// a first-order allpass whose coefficient is corrected for very short delays.
#pragma once

#include <vector>

class tFracDelay {
public:
    static constexpr int kDefaultSize = 44100;

    tFracDelay();

    // New zero buffer of n entries (at least 1); the length is kept within it.
    void resize(int n);
    // Zeroes the first `length` entries; the output becomes v.
    void clear(double v);
    // Allpass state to zero, write position to the start.
    void resetState();
    // Delay of d samples (limited to what the buffer holds). The write position is kept;
    // the read position follows it at the new distance.
    void setDelay(double d);

    void write(double x) {
        // Members are read before the buffer is written, so that the store cannot make the
        // compiler read them again.
        double* buffer = mBuffer.data();
        const int w = mWrite;
        const int r = mRead;
        const int n = mLength;
        const double c = mC;
        const double y = mY;
        const double x1 = mX1;
        buffer[w] = x;
        const double a = buffer[r];
        mWrite = w + 1 >= n ? w + 1 - n : w + 1;
        mRead = r + 1 >= n ? r + 1 - n : r + 1;
        mY = c * (a - y) + x1;
        mX1 = a;
    }

    double output() const { return mY; }

    int length() const { return mLength; }
    int readPosition() const { return mRead; }
    int writePosition() const { return mWrite; }
    double coefficient() const { return mC; }
    int size() const { return static_cast<int>(mBuffer.size()); }

private:
    int mWrite = 0;
    int mRead = 0;
    int mLength = 1;
    double mC = 0.0;
    double mX1 = 0.0;
    double mY = 0.0;
    std::vector<double> mBuffer;
};
