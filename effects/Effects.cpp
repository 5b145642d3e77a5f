#include "effects/Effects.h"

#include "dsp/FlushDenormals.h"
#include "dsp/SoftCeiling.h"
#include "effects/Chorus.h"
#include "effects/Delay.h"
#include "effects/Distortion.h"
#include "effects/PMResonator.h"
#include "effects/Resonator.h"
#include "effects/Reverb.h"
#include "effects/UniversalFilter.h"

#include <algorithm>
#include <cmath>

namespace {

// True when every one of the n values is a finite number.
bool AllFinite(const double* values, int n) {
    // Each sum stays 0 unless a value is infinite or not a number; four of them keep the
    // additions independent.
    double zero[4] = {0.0, 0.0, 0.0, 0.0};
    int i = 0;
    for (; i + 3 < n; i += 4)
        for (int k = 0; k < 4; ++k) zero[k] += values[i + k] * 0.0;
    for (; i < n; ++i) zero[0] += values[i] * 0.0;
    return zero[0] + zero[1] + zero[2] + zero[3] == 0.0;
}

constexpr double kFullScale = 32768.0;
constexpr double kClipLevel = 0.99 * kFullScale;
constexpr double kHighLevel = 0.8 * kFullScale;
} // namespace

tEffects::tEffects() {
    mUnits[0] = std::make_unique<tDistortion>(mControls);
    mUnits[1] = std::make_unique<tUniversalFilter>(mControls);
    mUnits[2] = std::make_unique<tPMResonator>(mControls);
    mUnits[3] = std::make_unique<tResonator>(mControls);
    mUnits[4] = std::make_unique<tChorus>(mControls);
    mUnits[5] = std::make_unique<tReverb>(mControls);
    mUnits[6] = std::make_unique<tDelay>(mControls);
    mChain[0] = mUnits[0].get();
    mChain[1] = mUnits[1].get();
    mChain[2] = mUnits[2].get();
    mChain[kFilterAgain] = mUnits[1].get();
    mChain[4] = mUnits[3].get();
    mChain[5] = mUnits[4].get();
    mChain[6] = mUnits[5].get();
    mChain[7] = mUnits[6].get();
    mChain[kChainLength] = nullptr;
}

tEffects::~tEffects() = default;

void tEffects::SwitchOn() {
    // The units are cleared by the rendering thread at the start of its next block.
    mClearPending.store(true, std::memory_order_release);
    mControls.top.allEffectsOff.Set(0);
    mOn.store(true, std::memory_order_relaxed);
}

void tEffects::SwitchOff() {
    mControls.top.allEffectsOff.Set(1);
    mOn.store(false, std::memory_order_relaxed);
}

void tEffects::SetPan(int value) {
    // Pan is a 7-bit controller; a sequencer client may send a 14-bit value (or any number),
    // which must not turn the balance into a gain of hundreds.
    value = std::clamp(value, 0, 127);
    const double offset = (value - 64) / 64.0;
    mGainLeft = 1.0 + offset;
    mGainRight = 1.0 - offset;
}

void tEffects::ClearUnits() {
    for (int p = 0; mChain[p] != nullptr; ++p)
        if (p != kFilterAgain) mChain[p]->clear();
    mPeak = 0.0;
}

void tEffects::SetSampleRate(int rate) {
    mRate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    for (int p = 0; mChain[p] != nullptr; ++p)
        if (p != kFilterAgain) mChain[p]->setSampleRate(mRate);
}

void tEffects::Prepare() {
    for (int p = 0; mChain[p] != nullptr; ++p) {
        if (p == kFilterAgain) continue;
        tEffectUnit* unit = mChain[p];
        unit->setChannels(mChannels);
        unit->reset();
        unit->update();
    }
    mBlockCount = 0;
    SetPan(64);
}

void tEffects::Render(int frames) {
    const double g = mOutputGain / kFullScale;
    if (!On()) return;
    // The rack keeps blocks within the buffer; a larger request is cut to it.
    const int count = std::clamp(frames * mChannels, 0, kBufferSize);
    double* buf = mBuffer;
    if (mClearPending.exchange(false, std::memory_order_acquire)) ClearUnits();
    // A value that is no number or infinite would stay in every unit's memory: the input
    // takes it as silence.
    if (!AllFinite(buf, count))
        for (int i = 0; i < count; ++i)
            if (!std::isfinite(buf[i])) buf[i] = 0.0;
    {
        const tFlushDenormals flush;
        if (!mControls.top.allEffectsOff.IsOn()) {
            for (int p = 0; mChain[p] != nullptr; ++p) {
                if (p == kFilterAgain) continue;
                tEffectUnit* unit = mChain[p];
                if (!unit->isOn()) continue;
                if (mBlockCount == 5 * p) unit->update();
                unit->process(buf, count);
            }
            if (!AllFinite(buf, count)) {
                // A unit's state has run out of numbers: every unit starts again from rest
                // and the block is silent.
                ClearUnits();
                std::fill_n(buf, count, 0.0);
                ++mUnitResets;
            }
        }
    }

    if (mChannels == 1) {
        for (int i = 0; i < count; ++i) buf[i] *= g;
    } else {
        const double left = g * mGainLeft;
        const double right = g * mGainRight;
        for (int i = 0; i + 1 < count; i += 2) {
            buf[i] *= left;
            buf[i + 1] *= right;
        }
    }
    // The unit's output never passes the ceiling, however its sliders are set.
    tSoftCeiling::apply(buf, count);

    if (mBlockCount == 0)
        mOutputGain = (std::exp(SliderValue(mControls.top.outputVolume) / 3.0) - 1.0) * kFullScale;

    if (mControls.top.meterOn.IsOn()) {
        double peak = mPeak;
        for (int i = 0; i < count; ++i) peak = std::max(peak, std::fabs(buf[i]) * kFullScale);
        mPeak = peak;
    }

    if (mBlockCount++ >= kCycleBlocks - 1) {
        tControl& meter = mControls.top.meter;
        if (mPeak > kClipLevel)
            meter.SetColour(tEffectsTopControls::kMeterClip);
        else if (mPeak > kHighLevel)
            meter.SetColour(tEffectsTopControls::kMeterHigh);
        else
            meter.SetColour(tEffectsTopControls::kMeterNormal);
        meter.Set(mPeak / kFullScale);
        mPeak = 0.0;
        mBlockCount = 0;
    }
}
