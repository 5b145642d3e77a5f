// Four taps of one delay line whose delays sweep up and down by one sample every period,
// period + 10, + 20 and + 30 samples, as triangles between the lower turning point and the
// region size.
#pragma once

#include "dsp/LazyClear.h"
#include "dsp/ZeroedBuffer.h"
#include "effects/EffectUnit.h"

#include <memory>

class tChorus : public tEffectUnit {
public:
    static constexpr int kTaps = 4;
    static constexpr int kRegion = 16384; // the longest sweep at 44100 Hz: width 1024 x 16
    static constexpr int kMaxWidth = kRegion / 16;
    static constexpr int kMinWidth = 1;
    static constexpr int kMinDistance = 0; // lower turning point of the sweep

    explicit tChorus(tEffectsControls& controls);

    // The region and the sweep's sizes follow the rate, so that the delays in seconds stay.
    // A tap's delay moves by whole samples: by the rate's nearest whole multiple of 44100 Hz
    // (at least one) every that many periods, so each step is close to one sample at
    // 44100 Hz and the change of delay per second (the pitch sway) stays. The memory is sized
    // anew (audio off) and the sweep starts again from its beginning; resets leave its
    // position.
    void setSampleRate(int rate) override;
    void getParams(int* out) const override;
    void setParams(const int* in) override;
    void update() override;
    void process(double* buf, int count) override;
    // The memory reads as zero from here on (its entries are zeroed as the taps are about to
    // read them); the sweep keeps its position.
    void clear() override;
    bool isOn() const override { return mGroup.on.IsOn(); }
    bool quiet(double level) const override;
    // The sweep moves on.
    void idle(int frames) override;

    int period() const { return mPeriod; }
    // Samples a tap's delay moves by at each step: 1 at 44100 Hz.
    int stepSize() const { return mStep; }
    int size() const { return mSize; }
    // Entries of the memory: kRegion at 44100 Hz, in proportion at other rates.
    int region() const { return mRegion; }
    // The sweep's size in samples at rate for a width: width x 16 at 44100 Hz.
    static int SizeFor(int width, int rate);
    double gain() const { return mGain; }
    int distance(int tap) const { return mDistance[tap]; }
    int readIndex(int tap) const { return mRead[tap]; }
    int writeIndex() const { return mWrite; }

private:
    // One sample: writes x and returns the four tap readings through taps[].
    void tick(double x, double* taps);
    // Tap k's indices after its reading in one sample.
    void moveTap(int k);
    // Samples (at most limit) before a tap steps or an index wraps.
    int plainRun(int limit) const;
    // Every index moves on by n samples, as n ticks in which no tap steps.
    void moveOn(int n);
    template <bool Stereo> void run(double* buf, int frames);
    // Before n samples after a clear: what the taps may read is zeroed where it was not
    // written since.
    void settle(int n);

    tChorusControls& mGroup;
    tZeroedBuffer mMemory;
    tLazyClear mStale;
    int mRegion = kRegion;
    int mWrite = 0;
    int mRead[kTaps] = {};
    int mDistance[kTaps] = {};
    int mDirection[kTaps] = {1, 1, 1, 1};
    int mTick[kTaps] = {};
    int mPeriod = 152;
    int mStep = 1;
    int mSize = 320;
    double mGain = 0.0;
};
