#include "core/MasterStage.h"

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
// 2^-15: an exact scaling, so that out x 32768 gives back the scaled value bit for bit.
constexpr double kOutputScale = 1.0 / tMasterStage::kFullScale;

int FramesAtRate(int framesAtReference, int rate) {
    return std::max(1, static_cast<int>(std::lround(framesAtReference * rateScale(rate))));
}
} // namespace

tMasterStage::tMasterStage(tMasterControls& controls, tLoadCounters& counters)
    : mControls(controls), mCounters(counters) {}

void tMasterStage::SetSampleRate(int rate) {
    mMeterWindowFrames = FramesAtRate(kMeterWindow, rate);
    mLoadWindowFrames = FramesAtRate(kLoadWindow, rate);
}

double tMasterStage::GainForVolume(double volume) {
    return (std::pow(2.0, volume / 3.0) - 1.0) * kFullScale;
}

void tMasterStage::scale(const double* mix, int n, double* out) {
    for (int i = 0; i < n; ++i) out[i] = mGain * mix[i] * kOutputScale;
}

void tMasterStage::scaleTrackingPeak(const double* mix, int n, double* out) {
    double peak = mPeak;
    for (int i = 0; i < n; ++i) {
        const double scaled = mGain * mix[i];
        peak = std::max(peak, std::fabs(scaled));
        out[i] = scaled * kOutputScale;
    }
    mPeak = peak;
}

void tMasterStage::Process(const double* mix, int frames, int channels, double* out) {
    const int n = std::max(frames * channels, 0);

    if (mMeterFrames == 0) mGain = GainForVolume(mControls.volume.Value());
    const bool vu = mControls.vu.IsOn();
    const bool limiter = mControls.limiter.IsOn();

    if (limiter) {
        double peak = mPeak;
        for (int i = 0; i < n; ++i) peak = std::max(peak, std::fabs(mGain * mix[i]));
        mPeak = peak;
        if (mPeak > kLimitPeak) mGain = kLimitTarget / mPeak * mGain;
        scale(mix, n, out);
    } else if (vu) {
        scaleTrackingPeak(mix, n, out);
    } else {
        scale(mix, n, out);
    }

    mMeterFrames += std::max(frames, 0);
    if (mMeterFrames >= mMeterWindowFrames) updateVuMeter(vu, limiter);
}

void tMasterStage::updateVuMeter(bool vu, bool limiter) {
    if (vu) {
        int colour = kVuColourNormal;
        if (mPeak > kLimitPeak)
            colour = limiter ? kVuColourLimited : kVuColourOverload;
        else if (mPeak > kHotPeak)
            colour = kVuColourHot;
        mControls.vuMeter.SetColour(colour);
        mControls.vuMeter.Set(mPeak / kFullScale);
    }
    mPeak = 0.0;
    mMeterFrames = 0;
}

bool tMasterStage::UpdateLoad(int frames, int fragments) {
    const int blocks = mCounters.Blocks();
    mLoadFrames += std::max(frames, 0);
    if (mLoadFrames >= mLoadWindowFrames) {
        const int load = frames * mLoadMaximum / 128;
        mControls.loadMeter.SetColour(
            load > mCounters.WarningLevel() + fragments ? kLoadColourWarning : kLoadColourNormal);
        mControls.loadMeter.Set(load);
        mLoadMaximum = 0;
        mLoadFrames = 0;
    } else {
        mLoadMaximum = std::max(mLoadMaximum, blocks);
    }
    return blocks > mCounters.CutOffLevel() * frames / 128 + fragments;
}
