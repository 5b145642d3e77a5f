// The nonlinear two-line resonator behind the PM resonator unit. Line 1 recirculates the
// low-passed output at the resonance period; line 2 carries a constant excitation that the
// input modulates; a fifth-order polynomial of line 2's output feeds the loop filter.
//
// The lines' lengths are whole samples at 44100 Hz, and the loop's period is line 1's length,
// one sample more for the write, and the loop filter's phase delay. At another rate each line
// takes the length that keeps its path's delay in seconds, the loop filter's phase delay at
// that rate taken out: the whole samples by the line, the rest (one and a half to two and a
// half samples) by a second-order allpass of maximally flat delay on the line's output. So
// the resonator rings at the pitch it has at 44100 Hz. The loop filter's pole is moved for the
// rate and a zero beside it gives back what the filter passes at 44100 Hz near the top of
// that rate's band, which the nonlinear loop would otherwise lose with every pass.
#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/LazyClear.h"
#include "dsp/OnePole.h"
#include "dsp/SampleRate.h"
#include "dsp/ZeroedBuffer.h"

#include <cmath>
#include <memory>

class tPMCore {
public:
    // Entries of each line at 44100 Hz (in proportion at other rates); also the longest
    // length line 2 may take.
    static constexpr int kLineSize = 48000;
    // The loop value beyond which (or when not finite) the loop starts again from rest.
    static constexpr double kLoopLimit = 5.0;
    // The largest magnitude the polynomial's argument takes. The polynomial turns steeply
    // upwards past about 1.15; held within this, the loop settles once its input stops.
    static constexpr double kArgumentLimit = 1.27;

    tPMCore();
    tPMCore(const tPMCore&) = delete;
    tPMCore& operator=(const tPMCore&) = delete;

    // Sizes the lines for the rate (audio off: this allocates) and sets the DC blocker's
    // corner and the loop filter for it; the lines then rest as after clear(). Their lengths
    // keep the ratio they were last set from, and the positions and the trailing reads of a
    // lengthening keep their places in time.
    void setSampleRate(int rate);
    // Entries of each line at the current rate.
    int lineSize() const { return mLineSize; }
    static int LineSizeFor(int rate);
    void setChannels(int n) { mChannels = n; }

    // Line lengths for the resonance frequency (at least 1 Hz); line 2's length follows the
    // ratio set by the last setResoMode.
    void setFrequency(double f);
    void setFeed(double x);
    void setFeedFreq(double x);
    void setScale(bool on) { mScale = on ? 20.0 : 1.0; }
    void setResoMode(double x);
    void setOutGain(double x) { mOutGain = x; }
    void setIntensity(double x);
    void setEfxOnly(bool on) { mEfxOnly = on; }

    void process(double* buf, int count);
    // The resting state for silent input: both lines, the loop filter and the DC blocker hold
    // the constant excitation and the loop value it settles to, so that the resonator starts
    // without a thump and sounds only when its input does. The lines take those values as
    // the next blocks are about to read them, so a clear costs no more than those blocks.
    void clear();
    // The loop value at rest: y = feed·y + p(intensity + feed·y), p the polynomial.
    double restingValue() const;
    // True when, for silent input, the loop sits within level of a rest it returns to: both
    // lines, the loop value, the loop filter's input and the allpasses hold it, the DC
    // blocker's output is below level, and the loop's gain around that rest is below one.
    bool quiet(double level) const;
    // frames silent samples at that rest: the positions move on, which is all those samples
    // change (up to level).
    void idle(int frames);

    double frequency() const { return mFreq; }
    int length1() const { return mLen1; }
    int length2() const { return mLen2; }
    int position2() const { return mPos2; }
    double lengthFactor() const { return mLenFactor; }
    double feed() const { return mFeed; }
    double intensity() const { return mIntensity; }
    double outGain() const { return mOutGain; }
    const tOnePole& lowpass() const { return mLowpass; }
    // The delay in samples the allpass on each line's output adds (0 at 44100 Hz, where
    // none runs).
    double fraction1() const { return mFraction1.delay; }
    double fraction2() const { return mFraction2.delay; }

private:
    // A second-order allpass whose delay is flat at low frequencies (Thiran's design).
    struct tFraction {
        double delay = 0.0;
        double a1 = 0.0;
        double a2 = 0.0;
        double x1 = 0.0;
        double x2 = 0.0;
        double y1 = 0.0;
        double y2 = 0.0;
        void setDelay(double d);
        double step(double x) {
            const double y = a2 * (x - y2) + a1 * (x1 - y1) + x2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
        void rest(double value) { x1 = x2 = y1 = y2 = value; }
        // Every state within level of value.
        bool near(double value, double level) const {
            return std::fabs(x1 - value) <= level && std::fabs(x2 - value) <= level &&
                   std::fabs(y1 - value) <= level && std::fabs(y2 - value) <= level;
        }
    };

    // The lines' lengths for the frequency and the ratio last applied, at the current rate.
    void setLengths();
    // At a rate other than 44100 Hz: the loop filter's zero, so that beside its pole moved
    // for the rate it answers as at 44100 Hz up to the highest frequencies; none at 44100 Hz.
    void tuneLoopFilter();
    // At a rate other than 44100 Hz: the lengths and fractions that keep the loop's delays in
    // seconds, for the current frequency, ratio and loop filter.
    void tuneLines();
    template <bool Stereo, bool EfxOnly, bool Fractional> void run(double* buf, int count);
    template <bool Fractional> void dispatch(double* buf, int count);
    // Before n samples after a clear: the entries the lines will read and were not written
    // since take their resting values.
    void settle(int n);

    tOnePole mLowpass;
    double mZero = 0.0;      // the loop filter's zero is at -mZero
    double mLoopB0 = 1.0;    // its gain on the input
    double mLoopB1 = 0.0;    // and on the previous input
    double mLoopInput = 0.0; // the previous input
    tDcBlocker mDc;
    double mDrive = 0.5;
    double mOutGain = 0.0;
    double mFb = 0.0;
    double mV = 0.0;
    double mLenFactor = 0.5;
    double mAppliedFactor = 0.5; // the ratio line 2's length was last set from
    double mFreq = 1000.0;
    int mRate = kReferenceRate;
    int mLineSize = kLineSize;
    int mLen1 = 44;
    int mLen2 = 22;
    int mPos1 = 0;
    int mPos2 = 0;
    int mOld1 = 44;
    int mOld2 = 22;
    int mChannels = 1;
    bool mEfxOnly = false;
    double mFeed = 0.4;
    double mIntensity = 0.5;
    double mScale = 1.0;
    tFraction mFraction1;
    tFraction mFraction2;
    tLazyClear mStale1;
    tLazyClear mStale2;
    tZeroedBuffer mLine1;
    tZeroedBuffer mLine2;
};
