// The Schroeder-Moorer reverb: damped feedback combs in parallel (4 to 8 per channel)
// followed by four allpasses in series per channel, at fixed delay lengths for 44100 Hz that
// scale with the rate. At another rate each comb's feedback per pass is set so that the
// reverb time in seconds stays, and the damping filters keep their response in hertz where
// they act (matched at 8 kHz).
#pragma once

#include "dsp/LazyClear.h"
#include "dsp/SampleRate.h"
#include "dsp/ZeroedBuffer.h"

#include <memory>

class tCombReverb {
public:
    static constexpr int kMaxCombs = 8;
    static constexpr int kAllpasses = 4;
    static constexpr int kCombLength[2][kMaxCombs] = {
        {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617},
        {1139, 1211, 1300, 1379, 1445, 1514, 1580, 1640}};
    static constexpr int kAllpassLength[2][kAllpasses] = {{556, 441, 341, 225},
                                                          {579, 464, 364, 248}};
    static constexpr int kMemorySize = 25450; // all combs and allpasses of both channels

    tCombReverb();
    // Lengths and memory for the rate (audio off: this allocates); the memory starts at rest
    // and the coefficients are applied anew.
    void setSampleRate(int rate);
    int sampleRate() const { return mRate; }
    // A delay length for 44100 Hz at the rate, rounded.
    static int LengthAt(int length, int rate);
    tCombReverb(const tCombReverb&) = delete;
    tCombReverb& operator=(const tCombReverb&) = delete;

    // Setters store the value and its scaled form; recompute() applies them to the combs.
    void setRoomSize(double r);
    void setDamp(double d);
    void setWet(double w);
    void setDry(double v);
    void setWidth(double v);
    void setNumCombs(int n);
    void recompute();
    // Zeroes every comb and allpass memory and the combs' filter stores. The memories are
    // zeroed as the next blocks are about to read them, so a clear costs no more than those
    // blocks.
    void clearMemory();

    // The unscaled values as last set.
    double roomSizeSetting() const { return mRoomRaw; }
    double dampSetting() const { return mDampRaw; }
    double wetSetting() const { return mWetRaw; }
    double widthSetting() const { return mWidth; }
    int numCombs() const { return mNumCombs; }

    double wet1() const { return mWet1; }
    double wet2() const { return mWet2; }
    double dry() const { return mDry; }
    double inputGain() const { return mGain; }
    double combFeedback(int channel, int k) const { return mComb[channel][k].feedback; }
    double combDamping(int channel, int k) const { return mComb[channel][k].d1; }
    int combSize(int channel, int k) const { return mComb[channel][k].size; }
    int allpassSize(int channel, int k) const { return mAllpass[channel][k].size; }

    // True when the first numCombs combs and the allpasses of the channels hold only values
    // below level.
    bool quiet(int channels, double level) const;

    // x <- combs and allpasses of the left channel on gain * x, weighted, plus dry * x.
    void processMono(double* buf, int count);
    // Both channels fed with gain * (L + R), cross-mixed by the width.
    void processStereo(double* buf, int frames);

private:
    struct tComb {
        double* memory = nullptr;
        int size = 0;
        int index = 0;
        double feedback = 0.0;
        double store = 0.0;
        double d1 = 0.0;
        double d2 = 1.0;
        tLazyClear stale;
    };
    struct tAllpass {
        double* memory = nullptr;
        int size = 0;
        int index = 0;
        tLazyClear stale;
    };

    template <int Combs> void runMono(double* buf, int count);
    template <int Combs> void runStereo(double* buf, int frames);
    // Runs of samples in which no comb or allpass of the channels wraps: each reads and
    // writes consecutive entries, the left and right filters side by side in stereo.
    template <int Combs> void monoSpan(double* buf, int n);
    template <int Combs> void stereoSpan(double* buf, int n);
    // Samples the first combs and the allpasses of the channels run before one of them wraps
    // (at most limit).
    int unwrappedRun(int channels, int combs, int limit) const;
    // Moves their indices on by n samples.
    void moveOn(int channels, int combs, int n);
    // Before n samples after a clear, through the channels' first numCombs combs and their
    // allpasses: the entries they will read that were not written since are zeroed.
    void settle(int channels, int n);
    // Lays the combs and allpasses out in the memory at the lengths for the rate.
    void layOut();

    tZeroedBuffer mMemory;
    int mMemorySize = kMemorySize;
    int mRate = kReferenceRate;
    bool mPending = false; // a memory still holds entries from before the last clear
    tComb mComb[2][kMaxCombs];
    tAllpass mAllpass[2][kAllpasses];
    int mNumCombs = kMaxCombs;

    double mGain;
    double mRoomSize = 0.0;
    double mRoomSize1 = 0.0;
    double mDamp = 0.0;
    double mDamp1 = 0.0;
    double mWet = 0.0;
    double mWet1 = 0.0;
    double mWet2 = 0.0;
    double mDry = 0.0;
    double mWidth = 0.0;
    double mRoomRaw = 0.0;
    double mDampRaw = 0.0;
    double mWetRaw = 0.0;
};
