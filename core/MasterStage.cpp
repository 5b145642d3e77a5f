#include "core/MasterStage.h"

#include "dsp/BlockOps.h"
#include "dsp/LanePair.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
// 2^-15: an exact scaling, so that out x 32768 gives back the scaled value bit for bit.
constexpr double kOutputScale = 1.0 / tMasterStage::kFullScale;
} // namespace

tMasterStage::tMasterStage(tMasterControls& controls) : mControls(controls) {
    SetSampleRate(kReferenceRate);
}

void tMasterStage::SetSampleRate(int rate) {
    mRate = rate;
    mMeterWindowFrames = std::max(1, static_cast<int>(std::lround(kMeterWindow * rateScale(rate))));
    mReleasePerFrame = std::exp(-1.0 / (kReleaseSeconds * rate));
}

double tMasterStage::GainForVolume(double volume) {
    return (std::pow(2.0, volume / 3.0) - 1.0) * kFullScale;
}

void tMasterStage::Process(const double* mix, int frames, int channels, double* out) {
    frames = std::max(frames, 0);
    const int n = frames * channels;
    const double target = GainForVolume(mControls.volume.Value());
    if (!mStarted) {
        mGain = target;
        mStarted = true;
    }
    const double from = mGain;
    const bool vu = mControls.vu.IsOn();
    const bool limiter = mControls.limiter.IsOn();

    if (limiter) {
        limit(mix, frames, channels, from, target, out);
    } else if (from == target && !vu) {
        for (int i = 0; i < n; ++i) out[i] = from * mix[i] * kOutputScale;
    } else if (from == target) {
        double peak = mPeak;
        for (int i = 0; i < n; ++i) {
            const double scaled = from * mix[i];
            peak = std::max(peak, std::fabs(scaled));
            out[i] = scaled * kOutputScale;
        }
        mPeak = peak;
    } else {
        // The gain reaches the slider's value at the block's last frame.
        const double step = (target - from) / frames;
        double peak = mPeak;
        for (int f = 0; f < frames; ++f) {
            const double gain = from + step * (f + 1);
            for (int c = 0; c < channels; ++c) {
                const double scaled = gain * mix[f * channels + c];
                peak = std::max(peak, std::fabs(scaled));
                out[f * channels + c] = scaled * kOutputScale;
            }
        }
        if (vu) mPeak = peak;
    }
    mGain = target;

    mMeterFrames += frames;
    if (mMeterFrames >= mMeterWindowFrames) updateVuMeter(vu, limiter);
}

void tMasterStage::ToSamples(const double* out, int n, int16_t* samples) {
    // Two at a time: held within the type's range (a NaN lane becomes 0), then truncated.
    const tLanePair scale = Broadcast(kFullScale);
    const tLanePair high = Broadcast(32767.0);
    const tLanePair low = Broadcast(-32768.0);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        tLanePair x = LoadPair(out + i) * scale;
        const tLaneMask number = x == x;
        x = x < high ? x : high;
        x = x > low ? x : low;
        x = (tLanePair)(Bits(x) & number);
        // Both lanes truncated at once, as static_cast<int> truncates each.
        using tIntPair = int __attribute__((vector_size(8)));
        const tIntPair whole = __builtin_convertvector(x, tIntPair);
        samples[i] = static_cast<int16_t>(whole[0]);
        samples[i + 1] = static_cast<int16_t>(whole[1]);
    }
    if (i < n) samples[i] = ToSample(out[i] * kFullScale);
}

void tMasterStage::limit(const double* mix, int frames, int channels, double from, double to,
                         double* out) {
    const double step = frames > 0 ? (to - from) / frames : 0.0;
    double peak = 0.0; // of the block at the volume's gain, before the limiter
    const bool steady = from == to;
    // A steady gain (never negative) scales every value alike: the largest stays the largest.
    if (steady) peak = to * MaxMagnitude(mix, frames * channels);
    for (int f = 0; f < frames && !steady; ++f) {
        const double gain = from == to ? to : from + step * (f + 1);
        double frame = 0.0;
        for (int c = 0; c < channels; ++c)
            frame = std::max(frame, std::fabs(mix[f * channels + c]));
        peak = std::max(peak, gain * frame);
    }
    mPeak = std::max(mPeak, peak);
    // The reduction this block needs, and the one the release has come back to by its end.
    const double needed = peak > kLimitPeak ? kLimitPeak / peak : 1.0;
    // Without a reduction there is nothing to release (1 − 0·p is 1 for the finite p).
    const double released =
        mReduction == 1.0 ? 1.0 : 1.0 - (1.0 - mReduction) * std::pow(mReleasePerFrame, frames);
    const double start = std::min(mReduction, needed);
    const double end = std::min(released, needed);
    const double reductionStep = frames > 0 ? (end - start) / frames : 0.0;
    if (steady && reductionStep == 0.0) {
        // start + 0 * (f + 1) is start: one gain for the whole block.
        ScaleInto(out, mix, frames * channels, to * (start + 0.0) * kOutputScale);
        mReduction = end;
        return;
    }
    for (int f = 0; f < frames; ++f) {
        const double gain = (from == to ? to : from + step * (f + 1)) *
                            (start + reductionStep * (f + 1)) * kOutputScale;
        for (int c = 0; c < channels; ++c) out[f * channels + c] = gain * mix[f * channels + c];
    }
    mReduction = end;
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

bool tMasterStage::UpdateLoad(double busySeconds, int frames) {
    const double seconds = static_cast<double>(std::max(frames, 1)) / mRate;
    const double share = std::max(busySeconds, 0.0) / seconds;
    mLoadMaximum = std::max(mLoadMaximum, share);
    mLoadSeconds += seconds;
    if (mLoadSeconds >= kLoadWindowSeconds) {
        mControls.loadMeter.SetColour(mLoadMaximum > kHeavyLoadShare ? kLoadColourWarning
                                                                     : kLoadColourNormal);
        mControls.loadMeter.Set(100.0 * mLoadMaximum);
        mLoadMaximum = 0.0;
        mLoadSeconds = 0.0;
    }
    // The processor time over each second of sound (kOverloadSeconds) against the share.
    mOverSeconds += seconds;
    mOverBusy += std::max(busySeconds, 0.0);
    if (mOverSeconds < mOverloadSeconds) return false;
    const bool overloaded = mOverBusy > mOverloadShare * mOverSeconds;
    mOverSeconds = 0.0;
    mOverBusy = 0.0;
    return overloaded;
}
