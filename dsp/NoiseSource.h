// Noise sources behind one interface: the string's excitation burst (white or pink) and the
// flute's breath noise and slow pressure drift. Each draw takes the next value of the calling
// thread's generator (Random.h), which is the rack's own while the rack renders; nothing here
// seeds it.
#pragma once

#include "dsp/Random.h"

#include <algorithm>

class tNoiseSource {
public:
    virtual ~tNoiseSource() = default;
    virtual double next() = 0;
};

// Sample-and-hold white noise: each value is returned hold + 1 times (the first hold times).
class tWhiteNoise final : public tNoiseSource {
public:
    // Draws the first value.
    void setup(double hold, double amplitude);

    double next() override {
        const int k = mCounter++;
        if (k >= mHold) {
            mValue = nextRandom() * mAmplitude;
            mCounter = 0;
        }
        return mValue;
    }
    // n successive next() values.
    void nextBlock(double* out, int n) {
        const int hold = mHold;
        const double amplitude = mAmplitude;
        int counter = mCounter;
        double value = mValue;
        int i = 0;
        // The rest of the value held now, then a new value and its hold after it.
        for (; i < n && counter < hold; ++i, ++counter) out[i] = value;
        while (i < n) {
            value = nextRandom() * amplitude;
            if (hold < 4 && n - i >= 4) {
                // A short hold as four stores; the next value overwrites what is too many.
                out[i] = value;
                out[i + 1] = value;
                out[i + 2] = value;
                out[i + 3] = value;
                i += hold + 1;
                counter = hold;
                continue;
            }
            out[i++] = value;
            counter = std::min(n - i, hold);
            for (int k = 0; k < counter; ++k) out[i + k] = value;
            i += counter;
        }
        mCounter = counter;
        mValue = value;
    }

private:
    int mHold = 0;
    int mCounter = 0;
    double mAmplitude = 1.0;
    double mValue = 0.0;
};

// Pink noise from six leaky integrators of white noise. Constructed with the integrators at
// rest, drawing nothing.
class tPinkNoise final : public tNoiseSource {
public:
    // Clears the integrators and lets them run in for 60 draws.
    void reset();

    double next() override {
        const double w = nextRandom();
        mS0 = 0.997 * mS0 + 0.029591 * w;
        mS1 = 0.985 * mS1 + 0.032534 * w;
        mS2 = 0.95 * mS2 + 0.048056 * w;
        mS3 = 0.85 * mS3 + 0.090579 * w;
        mS4 = 0.62 * mS4 + 0.10899 * w;
        mS5 = 0.25 * mS5 + 0.255784 * w;
        return mS0 + mS1 + mS2 + mS3 + mS4 + mS5;
    }

private:
    double mS0 = 0.0, mS1 = 0.0, mS2 = 0.0, mS3 = 0.0, mS4 = 0.0, mS5 = 0.0;
};

// Straight lines between random targets, a new target every period.
class tRandomRamp final : public tNoiseSource {
public:
    // Period rate / freq rounded (at least 1); draws the first target.
    void setup(int rate, double freq, double amplitude);
    // Starts the ramp again from 0 towards the current target.
    void restart() {
        mCounter = 0;
        mPrevious = 0.0;
    }

    double next() override {
        const int k = mCounter++;
        if (k < mPeriod) return mPrevious + (mTarget - mPrevious) * (k + 1) / mPeriod;
        mPrevious = mTarget;
        mTarget = nextRandom() * mAmplitude;
        mCounter = 0;
        return mPrevious;
    }

    int period() const { return mPeriod; }
    // Calls of next() to come before one draws a new target.
    int rampLeft() const { return mCounter < mPeriod ? mPeriod - mCounter : 0; }
    // n successive next() values while none of them draws (n at most rampLeft()): points on
    // the line, computed two at a time.
    void ramp(double* out, int n) {
        const double previous = mPrevious;
        const double delta = mTarget - mPrevious;
        const double period = mPeriod;
        const int k = mCounter + 1;
        int i = 0;
        for (; i + 1 < n; i += 2) {
            out[i] = previous + delta * (k + i) / period;
            out[i + 1] = previous + delta * (k + i + 1) / period;
        }
        if (i < n) out[i] = previous + delta * (k + i) / period;
        mCounter += n;
    }

private:
    int mPeriod = 1;
    int mCounter = 0;
    double mAmplitude = 1.0;
    double mPrevious = 0.0;
    double mTarget = 0.0;
};
