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
    // The same line with its delay given in parts: a sample written comes out of output()
    // whole samples later (the read before the next write included), and passes the allpass
    // with coefficient c, which adds about (1 − c) / (1 + c) samples at low frequencies.
    // whole is kept within 1 .. what the buffer holds.
    void setSplitLength(int whole, double c);

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

    // The line's positions and allpass state as plain values, for a loop that keeps them in
    // registers: take them with cursor(), step the cursor as write() steps the line, and hand
    // them back with setCursor(). The buffer stays the line's.
    struct tCursor {
        double* buffer;
        int write;
        int read;
        int length;
        double c;
        double x1;
        double y;

        // The same step as write().
        void step(double x) {
            buffer[write] = x;
            const double a = buffer[read];
            write = write + 1 < length ? write + 1 : 0;
            read = read + 1 < length ? read + 1 : 0;
            y = c * (a - y) + x1;
            x1 = a;
        }
        // Steps before either position wraps round; stepWithin() is step() within them.
        int span() const {
            const int toWrite = length - write;
            const int toRead = length - read;
            return toWrite < toRead ? toWrite : toRead;
        }
        void stepWithin(double x) {
            buffer[write++] = x;
            const double a = buffer[read++];
            y = c * (a - y) + x1;
            x1 = a;
        }
        // After steps within the span: a position at the end starts again.
        void wrap() {
            if (write == length) write = 0;
            if (read == length) read = 0;
        }
        // The same as clear(0.0).
        void clear() {
            for (int i = 0; i < length; ++i) buffer[i] = 0.0;
            x1 = 0.0;
            y = 0.0;
        }
    };
    tCursor cursor() { return {mBuffer.data(), mWrite, mRead, mLength, mC, mX1, mY}; }
    void setCursor(const tCursor& cursor) {
        mWrite = cursor.write;
        mRead = cursor.read;
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
