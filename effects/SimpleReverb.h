// The cheap reverb of one channel: two allpasses in series feeding two feedback lines, all
// four of prime lengths scaled from one base length. The lengths are given for 44100 Hz; at
// another rate they scale with it and each line's gain per pass is set so that the line dies
// away as fast per second as at 44100 Hz.
#pragma once

#include "dsp/LazyClear.h"
#include "dsp/ZeroedBuffer.h"

#include <memory>

class tSimpleReverb {
public:
    static constexpr int kLines = 4;
    static constexpr int kCapacityBase = 10685;

    explicit tSimpleReverb(int capacityBase = kCapacityBase);

    // Capacities for the rate (audio off: this allocates), the memory at rest; the length
    // is applied anew by the next setLength.
    void setSampleRate(int rate);
    // Line k gets the smallest prime not below odd(trunc(n * ratio k)) (at another rate: that
    // length scaled by the rate, rounded), limited to its capacity; reads then follow the
    // writes by that length.
    void setLength(int n);
    void setMix(double m) { mMix = m / 2.0; }
    // Zeroes the memory, the last outputs and the output accumulators; positions stay. The
    // memory is zeroed as the next blocks are about to read it (see prepareRun), so a clear
    // costs no more than those blocks.
    void clear();
    // Before n steps after a clear: the entries they will read that were not written since
    // are zeroed.
    void prepareRun(int n) {
        if (!mPending) return;
        mPending = false;
        for (tLine& line : mLine) {
            line.stale.settle(line.memory.get(), line.read, n, line.capacity);
            line.stale.wrote(line.write, n, line.capacity);
            mPending = mPending || line.stale.pending();
        }
    }

    double step(double x) {
        const double a = mLine[0].last;
        const double in1 = x + mGain[0] * a;
        mLine[0].push(in1);
        const double y1 = a - mGain[0] * in1;

        const double b = mLine[1].last;
        const double in2 = y1 + mGain[1] * b;
        mLine[1].push(in2);
        const double y2 = b - mGain[1] * in2;

        const double c = mLine[2].push(y2 + mGain[2] * mLine[2].last);
        const double e = mLine[3].push(y2 + mGain[3] * mLine[3].last);

        mM1 = (1.0 - mMix) * x + mMix * c;
        mM2 = (1.0 - mMix) * x + mMix * e;
        return (mM1 + mM2) / 2.0;
    }
    // Frames of interleaved stereo through a left and a right reverb set alike: buf takes each
    // one's m1(), as step() on each would give it. The two run side by side.
    static void processStereo(tSimpleReverb& left, tSimpleReverb& right, double* buf, int frames);
    // True when every line's entries still to be read and its last output lie below level.
    bool quiet(double level) const;
    double m1() const { return mM1; }
    double m2() const { return mM2; }

    int length(int line) const { return mLine[line].length; }
    int capacity(int line) const { return mLine[line].capacity; }
    // Line k's gain per pass: 0.7, 0.7, 0.62 and -0.71 at 44100 Hz.
    double gain(int line) const { return mGain[line]; }
    double mix() const { return mMix; }

    static bool IsPrime(int n);

private:
    struct tLine {
        tZeroedBuffer memory;
        int capacity = 1;
        int length = 1;
        int write = 0;
        int read = 0;
        double last = 0.0;
        tLazyClear stale;

        // Writes x, reads the new output; both positions advance and wrap at the capacity.
        double push(double x) {
            memory[write] = x;
            if (++write >= capacity) write = 0;
            last = memory[read];
            if (++read >= capacity) read = 0;
            return last;
        }
    };

    // The capacities for the rate.
    void allocate();

    tLine mLine[kLines];
    double mGain[kLines] = {0.7, 0.7, 0.62, -0.71};
    int mCapacityBase;
    int mRate = 44100;
    bool mPending = false; // a line still holds entries from before the last clear
    double mMix = 0.5;
    double mM1 = 0.0;
    double mM2 = 0.0;
};
