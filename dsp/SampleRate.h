// The engine's sample rate: the rate every model's constants were tuned at, the rates the
// engine accepts, and the conversions that keep a model's times in seconds and its
// frequencies in hertz what they are at the reference rate, while giving exactly the tuned
// numbers at the reference rate itself.
#pragma once

#include <cmath>

// The rate at which every per-sample constant of the models was tuned.
constexpr int kReferenceRate = 44100;
constexpr int kMinSampleRate = 22050;
constexpr int kMaxSampleRate = 192000;

constexpr bool isValidSampleRate(long long rate) {
    return rate >= kMinSampleRate && rate <= kMaxSampleRate;
}

// Samples at rate per sample at the reference rate: rate / 44100.
inline double rateScale(int rate) {
    return static_cast<double>(rate) / kReferenceRate;
}

// A factor applied once per sample at the reference rate (a pole radius, a gain per pass),
// applied once per sample at rate so that the change per second stays the same:
// factor^(44100 / rate). Exactly factor at the reference rate.
inline double perSampleAtRate(double factor, int rate) {
    if (rate == kReferenceRate) return factor;
    return std::pow(factor, static_cast<double>(kReferenceRate) / rate);
}
