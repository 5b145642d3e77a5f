#include "dsp/FilterSections.h"

#include <cmath>

void tFirstOrderSection::designLowPass(double k) {
    const double g = mG * k;
    mB0 = 1.0 / (1.0 + g);
    mA1 = (1.0 - g) / (1.0 + g);
}

void tFirstOrderSection::designHighPass(double k) {
    mB0 = k / (k + mG);
    mA1 = (mG - k) / (k + mG);
}

void tSecondOrderSection::designLowPass(double k) {
    // Dividing K by √r keeps the natural frequency and raises the quality factor by √r.
    const double kr = mR > 1.0 ? k / std::sqrt(mR) : k;
    const double a = mA * kr;
    const double b = mR * mB * (kr * kr);
    const double d = 1.0 + a + b;
    mGain = 1.0 / d;
    mC1 = -2.0 * (1.0 - b) / d;
    mC2 = -(1.0 - a + b) / d;
}

void tSecondOrderSection::designHighPass(double k) {
    const double kr = mR > 1.0 ? k * std::sqrt(mR) : k;
    const double a = mA * kr;
    const double b = mR * mB;
    const double e = kr * kr;
    const double d = e + a + b;
    mGain = e / d;
    mC1 = -2.0 * (b - e) / d;
    mC2 = -(e + b - a) / d;
}

void tSecondOrderSection::designBandPass(double k) {
    const double p = k / mQ;
    const double k2 = k * k;
    const double d = k2 + p + 1.0;
    mGain = p / d;
    mC1 = -2.0 * (1.0 - k2) / d;
    mC2 = -(k2 + 1.0 - p) / d;
}
