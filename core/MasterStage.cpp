#include "core/MasterStage.h"

#include <algorithm>
#include <cmath>

tMasterStage::tMasterStage(tMasterControls& controls, tLoadCounters& counters)
    : mControls(controls), mCounters(counters) {}

double tMasterStage::GainForVolume(double volume) {
    return (std::pow(2.0, volume / 3.0) - 1.0) * kFullScale;
}

void tMasterStage::convert(const double* mix, int n) {
    for (int i = 0; i < n; ++i) mSamples[i] = ToSample(mGain * mix[i]);
}

void tMasterStage::convertTrackingPeak(const double* mix, int n) {
    double peak = mPeak;
    for (int i = 0; i < n; ++i) {
        const double scaled = mGain * mix[i];
        peak = std::max(peak, std::fabs(scaled));
        mSamples[i] = ToSample(scaled);
    }
    mPeak = peak;
}

bool tMasterStage::Process(const double* mix, int frames, int channels, int fragments) {
    const int n = std::clamp(frames * channels, 0, kSampleCount);

    if (mMeterCounter == 0) mGain = GainForVolume(mControls.volume.Value());
    const bool vu = mControls.vu.IsOn();
    const bool limiter = mControls.limiter.IsOn();

    if (limiter) {
        double peak = mPeak;
        for (int i = 0; i < n; ++i) peak = std::max(peak, std::fabs(mGain * mix[i]));
        mPeak = peak;
        if (mPeak > kLimitPeak) mGain = kLimitTarget / mPeak * mGain;
        convert(mix, n);
    } else if (vu) {
        convertTrackingPeak(mix, n);
    } else {
        convert(mix, n);
    }

    if (mMeterCounter++ > kMeterWindow - 2) updateVuMeter(vu, limiter);

    const int blocks = mCounters.Blocks();
    updateLoadMeter(frames, fragments, blocks);

    return blocks > mCounters.CutOffLevel() * frames / 128 + fragments;
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
    mMeterCounter = 0;
}

void tMasterStage::updateLoadMeter(int frames, int fragments, int blocks) {
    if (mLoadCounter++ > kLoadWindow - 2) {
        const int load = frames * mLoadMaximum / 128;
        mControls.loadMeter.SetColour(
            load > mCounters.WarningLevel() + fragments ? kLoadColourWarning : kLoadColourNormal);
        mControls.loadMeter.Set(load);
        mLoadMaximum = 0;
        mLoadCounter = 0;
    } else {
        mLoadMaximum = std::max(mLoadMaximum, blocks);
    }
}
