#include "dsp/FilterDesign.h"

#include "dsp/SampleRate.h"

#include <cmath>

namespace {

constexpr tFilterPoles kPoles[5] = {
    // critical damping
    {1.2872, 0.4142, 0.5098, 1.0197, 0.2599, 0.87, 0.1892, 0.87, 0.1892},
    // Bessel
    {1.3617, 0.618, 0.756, 0.9996, 0.4772, 1.3397, 0.4889, 0.7743, 0.389},
    // Butterworth
    {1.4142, 1.0, 1.0, 1.0, 1.0, 1.8478, 1.0, 0.7654, 1.0},
    // Chebyshev, 0.5 dB ripple
    {1.3614, 1.3827, 1.8636, 0.6402, 1.1931, 2.6282, 3.4341, 0.3648, 1.1509},
    // Chebyshev, 3 dB ripple
    {1.065, 1.9305, 3.3496, 0.3559, 1.1923, 2.1853, 5.5339, 0.1964, 1.2009},
};

double LimitToRate(double freq, int rate) {
    // Above the reference rate the ceiling stays where it is at the reference rate, so that a
    // filter opened to its top sounds the same at every rate.
    if (rate > kReferenceRate) rate = kReferenceRate;
    if (rate > 2.4 * freq) return freq;
    return rate * 0.4166666666666667;
}

double Resonance(double setting, double highest) {
    if (!(setting >= 1.0)) setting = 1.0;
    if (setting > highest) setting = highest;
    return std::exp(setting - 1.0);
}

} // namespace

const tFilterPoles& filterPoles(int type) {
    return kPoles[type >= 0 && type <= 4 ? type : kCritical];
}

double clampLowPassFrequency(double freq, int rate) {
    if (freq <= 0.0) freq = 20.0;
    return LimitToRate(freq, rate);
}

double clampHighPassFrequency(double freq, int rate) {
    if (freq < 20.0) freq = 20.0;
    return LimitToRate(freq, rate);
}

double clampBandPassFrequency(double freq, int rate) {
    if (freq <= 0.0) freq = 5.0;
    return LimitToRate(freq, rate);
}

double prewarp(double freq, int rate) {
    const double t = std::tan(3.141592654 * freq / rate);
    return 1.0 / t;
}

double lowPassResonance(double setting) {
    return Resonance(setting, 11.0);
}

double highPassResonance(double setting) {
    return Resonance(setting, 10.0);
}

double bandPassQuality(double setting) {
    double y = setting / 2.0;
    if (!(y >= 1.0)) y = 1.0;
    if (y > 6.0) y = 6.0;
    return y <= 3.0 ? y / 3.0 : std::exp(y - 3.0);
}
