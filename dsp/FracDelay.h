// Freely tunable fractional delay line (the flute's jet): whole-sample circular buffer plus
// a first-order allpass whose coefficient is corrected for very short delays.
//
// The ring spans the whole buffer, the longest delay the line can be asked for, so that the
// signal history stays contiguous however the delay changes: a delay that grows reads samples
// that were really written that long ago, never slots left over from an earlier, shorter line.
// The nominal length floor(d + 2) only fixes the lag between writing and reading.
#pragma once

#include <vector>

class tFracDelay {
public:
    static constexpr int kDefaultSize = 44100;

    tFracDelay();

    // New zero ring of n entries (at least 3); the length is kept within it.
    void resize(int n);
    // Zeroes every entry written since the last clear (all that can differ from zero); the
    // allpass state and the output become v.
    void clear(double v);
    // Allpass state to zero. The ring keeps its position and its history, so a new note's
    // first reads take the most recent samples of the one before.
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
        const int n = static_cast<int>(mBuffer.size());
        const double c = mC;
        const double y = mY;
        const double x1 = mX1;
        buffer[w] = x;
        const double a = buffer[r];
        mWrite = w + 1 >= n ? w + 1 - n : w + 1;
        mRead = r + 1 >= n ? r + 1 - n : r + 1;
        if (mWritten < n) ++mWritten;
        mY = c * (a - y) + x1;
        mX1 = a;
    }

    double output() const { return mY; }

    // floor(d + 2) for the delay d last set.
    int length() const { return mLength; }
    // Writes between a sample entering the line and the read that takes it (0: the read
    // takes the sample just written).
    int lag() const { return mLag; }
    int readPosition() const { return mRead; }
    int writePosition() const { return mWrite; }
    double coefficient() const { return mC; }
    int size() const { return static_cast<int>(mBuffer.size()); }

private:
    int mWrite = 0;
    int mRead = 0;
    int mLength = 1;
    int mLag = 0;
    // Entries written since the last clear, at most the ring's size: the span clear() zeroes.
    int mWritten = 0;
    double mC = 0.0;
    double mX1 = 0.0;
    double mY = 0.0;
    std::vector<double> mBuffer;
};
