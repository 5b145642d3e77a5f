// Design rules shared by the filter family: the analogue prototype poles of each response
// type, the cutoff clamping and pre-warping of the bilinear transform, and the resonance laws.
#pragma once

#include "dsp/SampleRate.h"

// Normalised prototype pole parameters of one response type, for each order.
struct tFilterPoles {
    double a2, b2;             // order 2: 1 / (1 + a s + b s²)
    double g3, a3, b3;         // order 3: first-order g, then a, b
    double a41, b41, a42, b42; // order 4: two second-order sections
};

enum { kCritical = 0, kBessel = 1, kButterworth = 2, kChebyshev05 = 3, kChebyshev3 = 4 };

// The poles of a type; types outside 0..4 give critical damping.
const tFilterPoles& filterPoles(int type);

// Cutoff limits: a low pass takes 0 Hz or below as 20 Hz, a high pass raises anything below
// 20 Hz to 20 Hz, a band pass takes 0 Hz or below as 5 Hz; every filter caps the cutoff at
// rate / 2.4, and above 44100 Hz at 44100 / 2.4 (a cutoff that is no number ends there too).
double clampLowPassFrequency(double freq, int rate);
double clampHighPassFrequency(double freq, int rate);
double clampBandPassFrequency(double freq, int rate);

// Bilinear pre-warping constant K = 1 / tan(π f / rate), π taken as 3.141592654.
double prewarp(double freq, int rate);

// Resonance factor r = e^(x − 1) from the setting x clamped to [1, 11] (low pass) or
// [1, 10] (high pass); a setting that is no number counts as 1.
double lowPassResonance(double setting);
double highPassResonance(double setting);
// Band pass quality factor: y = x / 2 clamped to [1, 6]; Q = y / 3 up to y = 3, e^(y − 3)
// above (1/3 .. 1 .. e³).
double bandPassQuality(double setting);

// Sample rate the filters start with (their resonance starts at r = 1, Q = 1/3).
constexpr int kDefaultFilterRate = kReferenceRate;

// A rate of 0 or below would leave no coefficients; a filter keeps the rate it had.
inline void storeFilterRate(int& stored, int rate) {
    if (rate > 0) stored = rate;
}
