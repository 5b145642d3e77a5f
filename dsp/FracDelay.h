// Freely tunable fractional delay line (the flute's jet): whole-sample circular buffer plus
// a first-order allpass whose coefficient is corrected for very short delays.
//
// The ring spans the whole buffer, the longest delay the line can be asked for, so that the
// signal history stays contiguous however the delay changes: a delay that grows reads samples
// that were really written that long ago, never slots left over from an earlier, shorter line.
// The nominal length floor(d + 2) only fixes the lag between writing and reading.
//
// Clearing takes constant time: the line counts the samples written since, and a read that
// reaches further back than that takes zero, which is what the entries would hold had they
// been zeroed.
#pragma once

#include "dsp/SampleRate.h"
#include "dsp/ZeroedBuffer.h"
#include <vector>

class tFracDelay {
public:
    static constexpr int kDefaultSize = kReferenceRate; // a second at the reference rate

    tFracDelay();

    // New zero ring of n entries (at least 3); the length is kept within it.
    void resize(int n);
    // Forgets every entry written so far (later reads of them take zero); the allpass state
    // and the output become v. Returns how many entries it zeroed: none, whatever the ring.
    int clear(double v);
    // Allpass state to zero. The ring keeps its position and its history, so a new note's
    // first reads take the most recent samples of the one before.
    void resetState();
    // Delay of d samples (limited to what the buffer holds). The write position is kept;
    // the read position follows it at the new distance.
    void setDelay(double d);

    // The delay setDelay(d) gives a line of size entries, as the lag plus the allpass
    // fraction: a sample written is read back by output() 1 + delayOf(d) writes later (at low
    // frequencies).
    static double delayOf(double d, int size);
    // Lag plus allpass fraction of exactly delay samples (kept within the buffer), without the
    // short-delay correction of setDelay. As with setDelay the fraction lies in (0, 1], so the
    // allpass's delay grows a little towards high frequencies as it does there. The write
    // position is kept.
    void setTapDelay(double delay);

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
        const int written = mWritten;
        const int lag = mLag;
        buffer[w] = x;
        // A read further back than the writes since the last clear takes zero.
        const double a = lag <= written ? buffer[r] : 0.0;
        mWrite = w + 1 >= n ? w + 1 - n : w + 1;
        mRead = r + 1 >= n ? r + 1 - n : r + 1;
        if (written < n) mWritten = written + 1;
        mY = c * (a - y) + x1;
        mX1 = a;
    }

    double output() const { return mY; }

    // The line's running state as a value, for a block loop that keeps it in registers: it
    // takes the state with cursor(), writes and reads the ring's entries itself with the
    // arithmetic of write(), and hands the state back with setCursor() before the line is used
    // otherwise.
    struct tCursor {
        double* buffer;
        int size;
        int writeAt;
        int readAt;
        int lag;
        int written;
        double c;
        double x1;
        double y;
    };
    tCursor cursor() {
        return {mBuffer.data(), size(), mWrite, mRead, mLag, mWritten, mC, mX1, mY};
    }
    void setCursor(const tCursor& cursor) {
        mWrite = cursor.writeAt;
        mRead = cursor.readAt;
        mWritten = cursor.written;
        mX1 = cursor.x1;
        mY = cursor.y;
    }

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
    struct tTap {
        int length;
        int lag;
        double fraction;
    };
    // Length, lag and allpass fraction that setDelay(d) gives a ring of size entries.
    static tTap tapFor(double d, int size);
    void setTap(int lag, double fraction);

    int mWrite = 0;
    int mRead = 0;
    int mLength = 1;
    int mLag = 0;
    // Entries written since the last clear, at most the ring's size: reads within them are
    // history, reads beyond them take zero.
    int mWritten = 0;
    double mC = 0.0;
    double mX1 = 0.0;
    double mY = 0.0;
    tZeroedBuffer mBuffer;
};
