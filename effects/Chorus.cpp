#include "effects/Chorus.h"

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

tChorus::tChorus(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.chorus), mMemory(kRegion) {
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
    mMemory.reset(mRegion);
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

void tChorus::moveTap(int k) {
    const int size = mSize;
    const int step = mStep;
    if (++mTick[k] < (mPeriod + 10 * k) * step) {
        if (++mRead[k] >= size) mRead[k] = 0;
        return;
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

void tChorus::tick(double x, double* taps) {
    double* memory = mMemory.get();
    memory[mWrite] = x;
    for (int k = 0; k < kTaps; ++k) {
        taps[k] = memory[mRead[k]];
        moveTap(k);
    }
    if (++mWrite >= mSize) mWrite = 0;
}

int tChorus::plainRun(int limit) const {
    // Samples in which no tap steps and no index wraps (0 when one is due at once).
    const int size = mSize;
    int n = std::min(limit, size - mWrite);
    for (int k = 0; k < kTaps; ++k) {
        n = std::min(n, size - mRead[k]);
        n = std::min(n, (mPeriod + 10 * k) * mStep - 1 - mTick[k]);
    }
    return std::max(n, 0);
}

void tChorus::moveOn(int n) {
    for (int k = 0; k < kTaps; ++k) {
        mTick[k] += n;
        mRead[k] += n;
        if (mRead[k] >= mSize) mRead[k] = 0;
    }
    mWrite += n;
    if (mWrite >= mSize) mWrite = 0;
}

template <bool Stereo> void tChorus::run(double* buf, int frames) {
    const double wet = (Stereo ? 0.33 : 0.167) * mGain;
    const int stride = Stereo ? 2 : 1;
    double taps[kTaps];
    for (int i = 0; i < frames;) {
        const int n = plainRun(frames - i);
        double* x = buf + stride * i;
        if (n == 0) {
            // A tap steps or an index wraps in this sample.
            const double in = x[0];
            tick(in, taps);
            if (Stereo) {
                x[0] = in + wet * (taps[1] + taps[3]);
                x[1] = in + wet * (taps[0] + taps[2]);
            } else {
                x[0] = in + wet * (taps[0] + taps[1] + taps[2] + taps[3]);
            }
            ++i;
            continue;
        }
        // Every index moves on by one per sample: the write and the four reads are runs of
        // consecutive entries (a read may meet the entry just written, as in tick).
        double* write = mMemory.get() + mWrite;
        const double* tap0 = mMemory.get() + mRead[0];
        const double* tap1 = mMemory.get() + mRead[1];
        const double* tap2 = mMemory.get() + mRead[2];
        const double* tap3 = mMemory.get() + mRead[3];
        for (int j = 0; j < n; ++j) {
            const double in = x[stride * j];
            write[j] = in;
            if (Stereo) {
                x[2 * j] = in + wet * (tap1[j] + tap3[j]);
                x[2 * j + 1] = in + wet * (tap0[j] + tap2[j]);
            } else {
                x[j] = in + wet * (tap0[j] + tap1[j] + tap2[j] + tap3[j]);
            }
        }
        moveOn(n);
        i += n;
    }
}

void tChorus::process(double* buf, int count) {
    if (mStale.pending()) settle(mChannels == 1 ? count : count / 2);
    if (mChannels == 1)
        run<false>(buf, count);
    else
        run<true>(buf, count / 2);
}

bool tChorus::quiet(double level) const {
    // The taps read within the size, or once at an index beyond it (after the width shrank).
    if (!mStale.within(mMemory.get(), 0, mSize, 0.0, level)) return false;
    for (int k = 0; k < kTaps; ++k)
        if (mRead[k] >= mSize && !mStale.within(mMemory.get(), mRead[k], mRead[k] + 1, 0.0, level))
            return false;
    return true;
}

void tChorus::idle(int frames) {
    // The memory, quiet already, keeps what it holds (entries a clear has not reached yet are
    // zeroed as they are passed); every index moves on as frames samples would move it.
    const int size = mSize;
    mStale.settle(mMemory.get(), mWrite, frames, size);
    mStale.wrote(mWrite, frames, size);
    for (int k = 0; k < kTaps; ++k) {
        const int period = (mPeriod + 10 * k) * mStep;
        for (int n = frames; n > 0;) {
            const int plain = std::min({n, size - mRead[k], period - 1 - mTick[k]});
            if (plain <= 0) {
                moveTap(k);
                --n;
                continue;
            }
            mTick[k] += plain;
            mRead[k] += plain;
            if (mRead[k] >= size) mRead[k] = 0;
            n -= plain;
        }
    }
    if (frames > 0 && mWrite >= size) {
        mWrite = 0;
        --frames;
    }
    mWrite = static_cast<int>((static_cast<long long>(mWrite) + frames) % size);
}
