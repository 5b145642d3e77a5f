#include "dsp/OnePole.h"

#include "dsp/SampleRate.h"

#include <cmath>

namespace {

constexpr double kPi = 3.141592654;

} // namespace

void tOnePole::setup(int rate, double value) {
    mRate = rate;
    mValue = value >= 0.05 ? value : 0.05;
}

void tOnePole::update(double freq) {
    // Every mapping gives the coefficients the filter has at the reference rate; at another
    // rate the pole is moved so that it decays as fast per second, which keeps the corner
    // frequency and the loss per second of a loop the filter sits in.
    referenceUpdate(freq);
    if (mRate == kReferenceRate) return;
    mA1 = perSampleAtRate(mA1, mRate);
    mB0 = 1.0 - mA1;
}

void tOnePole::referenceUpdate(double freq) {
    if (mMode < kYes || mMode > kUser2) {
        // The "frequency" control sets the coefficient directly.
        const double value = mValue > 10.0 ? 10.0 : mValue;
        mB0 = 0.1 * value;
        mA1 = 1.0 - mB0;
        return;
    }
    double fc = std::pow(2.0, mValue - 1.0) * freq / kReferenceRate;
    if (fc > 0.5) fc = 0.5;
    // A note frequency of 0 or below (or a rate that leaves no number) keeps the
    // trigonometric mappings defined: the filter then closes.
    if (!(fc >= 0.0)) fc = 0.0;
    double b0 = 0.0;
    switch (mMode) {
    case kYes: {
        const double c = 2.0 - std::cos(2.0 * kPi * fc);
        const double a1 = c - std::sqrt(c * c - 1.0);
        b0 = 1.0 - a1;
        break;
    }
    case kCool:
        b0 = 1.0 / (std::cos(kPi * fc) / std::sin(kPi * fc) + 1.0);
        break;
    case kUser1:
        b0 = std::sin(kPi * fc);
        break;
    default:
        b0 = std::sqrt(std::sin(kPi * fc));
        break;
    }
    if (b0 > mCeiling) b0 = mCeiling;
    mB0 = b0;
    mA1 = 1.0 - b0;
}
