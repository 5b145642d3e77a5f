// Note-tuned delay line: a circular buffer whose whole-sample length is set from a note's
// period, followed by a first-order allpass that supplies the fractional part from the
// per-note tuning table. The string and flute voices run their loops through it.
#pragma once

#include <vector>

class tDelayLine {
public:
    static constexpr int kDefaultSize = 10000;

    tDelayLine();

    // New zero buffer of n entries (at least 1); the length is kept within it.
    void resize(int n);
    // Zeroes the first `length` entries and sets the allpass state to v.
    void clear(double v);
    // Allpass state to zero, write position to the start.
    void resetState();
    // d = rate / frequency, the period in samples; note selects the tuning fraction (notes
    // outside 0..127 get none: a plain delay). A period too long for the buffer is limited
    // to the longest the buffer holds.
    void setLength(double d, int note);
    // A line of whole samples followed by an allpass of coefficient c, in place of a note's
    // tuning fraction: a loop that reads output() before write() gets its sample back whole
    // samples plus the allpass's delay later. whole is kept within 1 .. size() − 2; the write
    // position goes to the start, as with setLength.
    void setWholeLength(int whole, double c);
    // The allpass coefficient alone: a sounding loop keeps its samples and its whole length.
    void setCoefficient(double c) { mC = c; }
    // Zeroes the n entries written last (those before the write position, around the line),
    // at most length() of them, and sets the allpass state to v: clear(v) for a caller that
    // knows the other entries of the line are zero already. Returns how many it zeroed.
    int clearRecent(int n, double v);

    // One sample of the loop: store x, read the next sample and interpolate it.
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
        mWrite = w + 1 < n ? w + 1 : 0;
        mRead = r + 1 < n ? r + 1 : 0;
        mY = c * (a - y) + x1;
        mX1 = a;
    }

    double output() const { return mY; }

    // The line's running state as a value, for a block loop that keeps it in registers: it
    // takes the state with cursor(), writes and reads the buffer's entries itself with the
    // arithmetic of write(), and hands the state back with setCursor() before the line is used
    // otherwise.
    struct tCursor {
        double* buffer;
        int writeAt;
        int readAt;
        int length;
        double c;
        double x1;
        double y;
    };
    tCursor cursor() { return {mBuffer.data(), mWrite, mRead, mLength, mC, mX1, mY}; }
    void setCursor(const tCursor& cursor) {
        mWrite = cursor.writeAt;
        mRead = cursor.readAt;
        mX1 = cursor.x1;
        mY = cursor.y;
    }

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
