#include "effects/Effects.h"

#include "dsp/FlushDenormals.h"
#include "dsp/LanePair.h"
#include "dsp/SoftCeiling.h"
#include "effects/Chorus.h"
#include "effects/Delay.h"
#include "effects/Distortion.h"
#include "effects/PMResonator.h"
#include "effects/QuietLevel.h"
#include "effects/Resonator.h"
#include "effects/Reverb.h"
#include "effects/UniversalFilter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// What one pass over a block found.
struct tBlockScan {
    bool finite; // every value is a number and not infinite
    bool silent; // every value is zero
};

tBlockScan ScanBlock(const double* values, int n) {
    // x - x is +0 for every finite x and not a number otherwise; the bits are gathered with
    // or, which keeps the pass free of additions that wait on each other.
    tLaneMask notFinite = {0, 0};
    tLaneMask sound = {0, 0};
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const tLanePair x = LoadPair(values + i);
        notFinite |= Bits(x - x);
        sound |= Bits(Magnitude(x));
    }
    if (i < n) {
        const tLanePair x = LanePair(values[i], 0.0);
        notFinite |= Bits(x - x);
        sound |= Bits(Magnitude(x));
    }
    return {!AnyBit(notFinite), !AnyBit(sound)};
}

// The output stage: each value times its channel's gain (the lanes of gains alternate as the
// channels do; an odd last value takes the first). Returns whether every value was finite
// before scaling; over tells whether a scaled value lies beyond the ceiling's knee.
bool ScaleBlock(double* values, int n, tLanePair gains, bool& over) {
    const tLanePair knee = Broadcast(tSoftCeiling::kKnee);
    tLaneMask notFinite = {0, 0};
    tLaneMask beyond = {0, 0};
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const tLanePair x = LoadPair(values + i);
        notFinite |= Bits(x - x);
        const tLanePair y = x * gains;
        beyond |= Magnitude(y) > knee;
        StorePair(values + i, y);
    }
    if (i < n) {
        const double x = values[i];
        notFinite |= Bits(LanePair(x - x, 0.0));
        values[i] = x * gains[0];
        beyond |= Magnitude(LanePair(values[i], 0.0)) > knee;
    }
    over = AnyBit(beyond);
    return !AnyBit(notFinite);
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
    // Every setting that reaches the sound; the meter and its switch do not.
    for (tControl* control : mControls.All())
        if (control != &mControls.top.meter && control != &mControls.top.meterOn)
            control->SetWatcher(&mSettingsWrites);
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
    IdleUnits();
    for (int p = 0; mChain[p] != nullptr; ++p)
        if (p != kFilterAgain) mChain[p]->clear();
    mPeak = 0.0;
    WakeUnits();
    mSilentFrames = 0;
}

bool tEffects::SettingsChanged() {
    const std::uint32_t serial = mSettingsWrites.load(std::memory_order_acquire);
    if (serial != mSettingsSerial) {
        mSettingsSerial = serial;
        mSteadyBlocks = 0;
        return true;
    }
    if (mSteadyBlocks < 2 * mCycleBlocks) ++mSteadyBlocks;
    return false;
}

void tEffects::SleepThrough(int p, int frames) {
    // A unit idles through the frames it slept just before its update, which may change what
    // idling moves (lengths, periods), and when the module wakes.
    if (mBlockCount == mUpdateBlock[p]) {
        tEffectUnit* unit = mChain[p];
        if (mSleptFrames[p] > 0) unit->idle(mSleptFrames[p]);
        mSleptFrames[p] = 0;
        unit->update();
    }
    mSleptFrames[p] += frames;
    mUnitsIdle = false;
}

void tEffects::Doze(int frames, int count, bool zeroed) {
    for (int p = 0; mChain[p] != nullptr; ++p)
        if (p != kFilterAgain && mChain[p]->isOn()) SleepThrough(p, frames);
    if (!zeroed) std::fill_n(mBuffer, count, 0.0); // a silent input may hold -0
    ++mSleptBlocks;
}

void tEffects::WatchForRest(bool silentInput, int frames) {
    // A setting written in the last two cycles may still reach the units at their next
    // updates (the PM resonator takes some a cycle late): they are looked at only after that.
    if (!silentInput || !SleepAllowed() || mSteadyBlocks < 2 * mCycleBlocks) {
        mSilentFrames = 0;
        return;
    }
    mSilentFrames += frames;
    if (mSilentFrames < kRestCheckFrames) return;
    mSilentFrames = 0;
    // The units from the start of the chain that have died away fall asleep: their input is
    // silent as long as the module's is. When all have, the module sleeps.
    for (int p = 0; mChain[p] != nullptr; ++p) {
        if (p == kFilterAgain) continue;
        const tEffectUnit* unit = mChain[p];
        if (!unit->isOn() || mUnitAsleep[p]) continue;
        if (!unit->quiet(kQuietLevel)) return;
        mUnitAsleep[p] = true;
        mUnitsAsleep = true;
    }
    mAsleep = true;
}

void tEffects::IdleUnits() {
    if (mUnitsIdle) return;
    for (int p = 0; mChain[p] != nullptr; ++p) {
        if (p == kFilterAgain || mSleptFrames[p] == 0) continue;
        mChain[p]->idle(mSleptFrames[p]);
        mSleptFrames[p] = 0;
    }
    mUnitsIdle = true;
}

void tEffects::WakeUnits() {
    IdleUnits();
    mAsleep = false;
    if (!mUnitsAsleep) return;
    std::fill(std::begin(mUnitAsleep), std::end(mUnitAsleep), false);
    mUnitsAsleep = false;
}

void tEffects::SetSampleRate(int rate) {
    IdleUnits();
    mRate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    const double scale = rateScale(mRate);
    mCycleBlocks = static_cast<int>(std::lround(kCycleBlocks * scale));
    for (int p = 0; p < kChainLength; ++p)
        mUpdateBlock[p] = static_cast<int>(std::lround(5 * p * scale));
    for (int p = 0; mChain[p] != nullptr; ++p)
        if (p != kFilterAgain) mChain[p]->setSampleRate(mRate);
}

void tEffects::Prepare() {
    WakeUnits();
    mSilentFrames = 0;
    mSteadyBlocks = 0;
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

void tEffects::Render(int frames, bool inputZeros) {
    const double g = mOutputGain / kFullScale;
    if (!On()) return; // the buffer stays as it is
    mZeros = 0;
    // The rack keeps blocks within the buffer; a larger request is cut to it.
    const int count = std::clamp(frames * mChannels, 0, kBufferSize);
    double* buf = mBuffer;
    if (mClearPending.load(std::memory_order_relaxed) &&
        mClearPending.exchange(false, std::memory_order_acquire))
        ClearUnits();
    // A value that is no number or infinite would stay in every unit's memory: the input
    // takes it as silence.
    const tBlockScan input = inputZeros ? tBlockScan{true, true} : ScanBlock(buf, count);
    if (!input.finite)
        for (int i = 0; i < count; ++i)
            if (!std::isfinite(buf[i])) buf[i] = 0.0;
    const bool chain = !mControls.top.allEffectsOff.IsOn();
    const bool changed = SettingsChanged();
    if (!chain || !input.silent || changed || !SleepAllowed()) WakeUnits();
    const bool dozing = mAsleep;
    if (dozing) {
        const tFlushDenormals flush;
        Doze(frames, count, inputZeros);
    } else if (chain) {
        {
            const tFlushDenormals flush;
            // Units asleep at the start of the chain sleep as in a dozing block; their silence
            // is the input of the first unit that still sounds.
            for (int p = 0; mChain[p] != nullptr; ++p) {
                if (p == kFilterAgain) continue;
                tEffectUnit* unit = mChain[p];
                if (!unit->isOn()) continue;
                if (mUnitAsleep[p]) {
                    SleepThrough(p, frames);
                    continue;
                }
                if (mBlockCount == mUpdateBlock[p]) unit->update();
                unit->process(buf, count);
            }
        }
        if (mUnitsAsleep) ++mPartlySleptBlocks;
        WatchForRest(input.silent, frames);
    }

    // The chain's output is checked for numbers in the pass that scales it (a dozing block
    // is silent already).
    const tLanePair gains = mChannels == 1 ? Broadcast(g) : LanePair(g * mGainLeft, g * mGainRight);
    bool over = false;
    if (!dozing && !ScaleBlock(buf, count, gains, over)) {
        // A unit's state has run out of numbers: every unit starts again from rest and the
        // block is silent.
        const tFlushDenormals flush;
        ClearUnits();
        std::fill_n(buf, count, 0.0);
        ++mUnitResets;
    } else if (over) {
        // The unit's output never passes the ceiling, however its sliders are set.
        tSoftCeiling::apply(buf, count);
    }

    if (mBlockCount == 0)
        mOutputGain = (std::exp(SliderValue(mControls.top.outputVolume) / 3.0) - 1.0) * kFullScale;
    if (dozing) mZeros = count; // a dozing block leaves its silent input as +0

    if (!dozing && mControls.top.meterOn.IsOn()) { // a dozing block is silent
        double peak = mPeak;
        for (int i = 0; i < count; ++i) peak = std::max(peak, std::fabs(buf[i]) * kFullScale);
        mPeak = peak;
    }

    if (mBlockCount++ >= mCycleBlocks - 1) {
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
