#include "dsp/NoiseSource.h"

#include <cmath>

namespace {

// floor(x + 0.5) as an int within [lowest, 1e9]; a value that is no number gives lowest.
int RoundedCount(double x, int lowest) {
    const double rounded = std::floor(x + 0.5);
    if (!(rounded >= lowest)) return lowest;
    return rounded > 1e9 ? 1000000000 : static_cast<int>(rounded);
}

} // namespace

void tWhiteNoise::setup(double hold, double amplitude) {
    // A hold of 0 or below draws a new value every sample.
    mHold = RoundedCount(hold, 0);
    mCounter = 0;
    mAmplitude = amplitude;
    mValue = nextRandom() * amplitude;
}

void tPinkNoise::reset() {
    mS0 = mS1 = mS2 = mS3 = mS4 = mS5 = 0.0;
    for (int i = 0; i < 60; ++i) next();
}

void tRandomRamp::setup(int rate, double freq, double amplitude) {
    mPeriod = RoundedCount(rate / freq, 1);
    mCounter = 0;
    mAmplitude = amplitude;
    mTarget = nextRandom() * amplitude;
}
