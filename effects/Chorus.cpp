#include "effects/Chorus.h"

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

tChorus::tChorus(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.chorus), mMemory(new double[kRegion]()) {
    update();
}

int tChorus::SizeFor(int width, int rate) {
    const long long size = 16LL * width;
    return static_cast<int>((size * rate + kReferenceRate / 2) / kReferenceRate);
}

void tChorus::setSampleRate(int rate) {
    if (rate == mRate) return;
    tEffectUnit::setSampleRate(rate);
    mRegion = SizeFor(kMaxWidth, rate);
    mStep = std::max(1, static_cast<int>(std::lround(rateScale(rate))));
    mMemory.reset(new double[mRegion]());
    mStale.clean();
    mWrite = 0;
    for (int k = 0; k < kTaps; ++k) {
        mRead[k] = 0;
        mDistance[k] = 0;
        mDirection[k] = 1;
        mTick[k] = 0;
    }
    update();
}

void tChorus::clear() {
    mStale.clear(mRegion);
}

void tChorus::settle(int n) {
    // A tap reads one entry per sample and moves on by one; at each of its steps instead by
    // one and the step (the delay shrinks) or back by the step less one (it grows). Over n
    // samples with at most s steps it stays within (step - 1) s entries behind its read index
    // and n + step s ahead. An index at or past the size (after the width shrank) is read
    // once before the reads go on from 0.
    double* memory = mMemory.get();
    const int size = mSize;
    for (int k = 0; k < kTaps; ++k) {
        const int interval = (mPeriod + 10 * k) * mStep;
        const int steps = interval > 1 ? n / interval + 1 : n;
        const int behind = (mStep - 1) * steps;
        int from = mRead[k];
        if (from >= size) {
            mStale.settle(memory, from, 1, size);
            from = 0;
        }
        from = (from - behind) % size;
        mStale.settle(memory, from < 0 ? from + size : from, behind + n + mStep * steps + 1, size);
    }
    mStale.wrote(mWrite, n, size);
}

void tChorus::getParams(int* out) const {
    out[0] = PatchInt(mGroup.volume, 100.0);
    out[1] = PatchInt(mGroup.frequency);
    out[2] = PatchInt(mGroup.width);
    out[3] = PatchInt(mGroup.on);
    out[4] = -1;
}

void tChorus::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.volume, 100.0);
    record.apply(1, mGroup.frequency);
    record.apply(2, mGroup.width);
    record.apply(3, mGroup.on);
}

void tChorus::update() {
    mGain = SliderLaw(SliderValue(mGroup.volume));
    mPeriod = (56 - ClampedInt(mGroup.frequency.Value(), -1000000, 1000000)) * 4;
    // A width from a patch text may exceed the slider; the region holds 1024 x 16 samples
    // at 44100 Hz.
    mSize = SizeFor(ClampedInt(mGroup.width.Value(), kMinWidth, kMaxWidth), mRate);
}

void tChorus::tick(double x, double* taps) {
    double* memory = mMemory.get();
    const int size = mSize;
    const int step = mStep;
    memory[mWrite] = x;
    for (int k = 0; k < kTaps; ++k) {
        taps[k] = memory[mRead[k]];
        if (++mTick[k] < (mPeriod + 10 * k) * step) {
            if (++mRead[k] >= size) mRead[k] = 0;
            continue;
        }
        mTick[k] = 0;
        mDistance[k] += mDirection[k] * step;
        if (mDistance[k] >= size) mDirection[k] = -1;
        if (mDistance[k] <= kMinDistance) mDirection[k] = 1;
        if (mDirection[k] < 0) {
            // The read moves on by one and by the step: the delay shrinks by the step.
            for (int i = 0; i <= step; ++i)
                if (++mRead[k] >= size) mRead[k] = 0;
        } else if (step > 1) {
            // The read moves on by one and back by the step: the delay grows by the step.
            if (mRead[k] >= size) mRead[k] = 0;
            mRead[k] -= step - 1;
            while (mRead[k] < 0) mRead[k] += size;
        }
    }
    if (++mWrite >= size) mWrite = 0;
}

void tChorus::process(double* buf, int count) {
    double taps[kTaps];
    if (mStale.pending()) settle(mChannels == 1 ? count : count / 2);
    if (mChannels == 1) {
        const double wet = 0.167 * mGain;
        for (int i = 0; i < count; ++i) {
            const double x = buf[i];
            tick(x, taps);
            buf[i] = x + wet * (taps[0] + taps[1] + taps[2] + taps[3]);
        }
        return;
    }
    const double wet = 0.33 * mGain;
    for (int i = 0; i + 1 < count; i += 2) {
        const double x = buf[i];
        tick(x, taps);
        buf[i] = x + wet * (taps[1] + taps[3]);
        buf[i + 1] = x + wet * (taps[0] + taps[2]);
    }
}
