// The first- and second-order sections the filters are cascades of. Each holds its pole
// parameters, its coefficients and its signal state; design*() maps the prototype through
// the bilinear transform for a pre-warping constant K.
#pragma once

#include <cmath>

// 1 / (1 + g s), or its high pass form under s → 1/s.
class tFirstOrderSection {
public:
    void setPole(double g) { mG = g; }
    void designLowPass(double k);
    void designHighPass(double k);
    void reset() {
        mX1 = 0.0;
        mY1 = 0.0;
    }

    double lowPass(double x) {
        const double y = mB0 * (x + mX1) - mA1 * mY1;
        mX1 = x;
        mY1 = y;
        return y;
    }
    double highPass(double x) {
        const double y = mB0 * (x - mX1) - mA1 * mY1;
        mX1 = x;
        mY1 = y;
        return y;
    }

    double g() const { return mG; }
    double b0() const { return mB0; }
    double a1() const { return mA1; }
    // The signal state: the last input and output.
    double x1() const { return mX1; }
    double y1() const { return mY1; }

private:
    double mX1 = 0.0;
    double mY1 = 0.0;
    double mB0 = 1.0;
    double mA1 = 0.0;
    double mG = 1.0;
};

// 1 / (1 + a s + b s²) with the resonance factor r raising its quality factor by √r, its high
// pass form, or the band pass (s/Q) / (1 + s/Q + s²); direct form II.
class tSecondOrderSection {
public:
    void setPoles(double a, double b) {
        mA = a;
        mB = b;
    }
    // √r is kept beside r: the envelope-driven redesigns reuse it.
    void setResonance(double r) {
        mR = r;
        mRootR = std::sqrt(r);
    }
    void setQuality(double q) { mQ = q; }
    void designLowPass(double k);
    void designHighPass(double k);
    void designBandPass(double k);
    void reset() {
        mW1 = 0.0;
        mW2 = 0.0;
    }

    double lowPass(double x) {
        const double w = x + mC1 * mW1 + mC2 * mW2;
        const double y = mGain * (w + 2.0 * mW1 + mW2);
        mW2 = mW1;
        mW1 = w;
        return y;
    }
    double highPass(double x) {
        const double w = x + mC1 * mW1 + mC2 * mW2;
        const double y = mGain * (w - 2.0 * mW1 + mW2);
        mW2 = mW1;
        mW1 = w;
        return y;
    }
    double bandPass(double x) {
        const double w = x + mC1 * mW1 + mC2 * mW2;
        const double y = mGain * (w - mW2);
        mW2 = mW1;
        mW1 = w;
        return y;
    }

    double a() const { return mA; }
    double b() const { return mB; }
    double resonance() const { return mR; }
    double rootResonance() const { return mRootR; }
    double quality() const { return mQ; }
    double gain() const { return mGain; }
    double c1() const { return mC1; }
    double c2() const { return mC2; }
    // The signal state: the last two values of the recursive part.
    double w1() const { return mW1; }
    double w2() const { return mW2; }

private:
    double mW1 = 0.0;
    double mW2 = 0.0;
    double mGain = 1.0;
    double mC1 = 0.0;
    double mC2 = 0.0;
    double mA = 0.0;
    double mB = 0.0;
    double mR = 1.0;
    double mRootR = 1.0;
    double mQ = 1.0 / 3.0;
};
