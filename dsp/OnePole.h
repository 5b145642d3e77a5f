// One-pole low pass with key tracking: the string's loop and excitation filters, the flute's
// loss and breath filters and the PM resonator's loop filter.
//
// The "frequency value" either sets the input coefficient directly (mode 0, "no") or is an
// octave offset above the note frequency given to update() (modes 1..4, "yes", "cool",
// "usr1", "usr2"), each mode with its own mapping from normalised frequency to coefficient.
#pragma once

#include "dsp/SampleRate.h"

class tOnePole {
public:
    enum { kFixed = 0, kYes = 1, kCool = 2, kUser1 = 3, kUser2 = 4 };

    void setMode(int mode) { mMode = mode; }
    // Stores the sample rate and the frequency value (values below 0.05 become 0.05).
    void setup(int rate, double value);
    // Upper limit of the input coefficient in modes 1..4.
    void setCeiling(double ceiling) { mCeiling = ceiling; }
    // Recomputes b0 and a1 for a note of frequency freq (mode 0 does not depend on it).
    void update(double freq);
    void clear() { mY = 0.0; }

    // One step: y = b0·x + a1·y.
    double process(double x) {
        mY = mB0 * x + mA1 * mY;
        return mY;
    }

    double b0() const { return mB0; }
    double a1() const { return mA1; }
    double y() const { return mY; }
    // Owners that run the recursion themselves store the new output here.
    void setY(double y) { mY = y; }

    int mode() const { return mMode; }
    double value() const { return mValue; }
    double ceiling() const { return mCeiling; }
    int rate() const { return mRate; }

private:
    // The coefficients at the reference rate.
    void referenceUpdate(double freq);

    double mY = 0.0;
    double mValue = 1.0;
    double mB0 = 1.0;
    double mA1 = 0.0;
    double mCeiling = 1.0;
    int mMode = kFixed;
    int mRate = kReferenceRate; // a defined rate until the owner calls setup()
};
