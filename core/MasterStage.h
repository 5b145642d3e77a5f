// The last step of every block: master volume, limiter, the VU and load meters, and the
// overload decision.
//
// Runs on the rendering thread; never allocates, locks or waits. The volume v gives the gain
// (2^(v/3) - 1) x 32768; when the slider moves, the gain ramps to its new value across the
// block, so the level never jumps. The limiter cuts only what a block needs: from the block's
// own peak at the current gain it takes the reduction that brings the peak to 99 % of full
// scale, holds it through that block (a deeper cut takes effect at the block's start, never
// with a step inside it) and releases smoothly, about 100 ms, back to the volume's gain; it
// never falls to silence, and with it on no output value exceeds 99 % of full scale. The
// output is the scaled block divided by full scale (+-1.0); the 16-bit sample of an output
// value x is ToSample(x * kFullScale), exactly the scaled value's.
//
// The VU meter shows the peak before the limiter over a window of 42 blocks of 128 frames at
// 44100 Hz, kept in seconds at every rate and counted in frames. The load meter shows the
// rendering thread's processor time as a share of the period's duration, in percent; when
// the processor time over a second of sound comes to more than 90 % of it, the machine is
// overloaded.
#pragma once

#include "core/MasterControls.h"
#include "dsp/SampleRate.h"

#include <cstdint>

class tMasterStage {
public:
    static constexpr int kMeterWindow = 42 * 128;     // frames per VU update at 44100 Hz
    static constexpr double kLoadWindowSeconds = 0.3; // per load-meter update
    static constexpr double kOverloadShare = 0.9;     // of the period, in processor time
    static constexpr double kOverloadSeconds = 1.0;   // that long
    static constexpr double kHeavyLoadShare = 0.7;    // the load meter turns red above it
    static constexpr double kReleaseSeconds = 0.1;    // the limiter's release time constant
    static constexpr double kFullScale = 32768.0;     // gain at volume 3
    static constexpr double kLimitPeak = 32440.32;    // 0.99 of full scale
    static constexpr double kHotPeak = 26214.4;       // 0.8 of full scale

    explicit tMasterStage(tMasterControls& controls);
    tMasterStage(const tMasterStage&) = delete;
    tMasterStage& operator=(const tMasterStage&) = delete;

    // The rate the blocks come at (44100 until set): the meter window, the release and the
    // overload time keep their length in seconds. Audio off only.
    void SetSampleRate(int rate);
    int MeterWindowFrames() const { return mMeterWindowFrames; }

    // One block of the rack's mix (frames x channels doubles, interleaved) into out, the
    // same number of values at full scale +-1.0.
    void Process(const double* mix, int frames, int channels, double* out);
    // Once per period of the audio device or host: busySeconds of the rendering thread's
    // processor time went into a period of frames. Updates the load meter; true when the
    // processor time over a stretch of kOverloadSeconds of sound came to more than
    // kOverloadShare of it (the guard then starts a new stretch).
    bool UpdateLoad(double busySeconds, int frames);
    // The guard's limits: a share of the period held for that long (tests shorten them).
    void SetOverloadGuard(double share, double seconds) {
        mOverloadShare = share;
        mOverloadSeconds = seconds;
    }

    // The master gain for volume v: 0 at v = 0, full scale at v = 3.
    static double GainForVolume(double volume);
    // One scaled sample to 16 bits: truncated toward zero, saturated at the type's limits
    // (a wrapped sample would flip sign); NaN gives 0.
    static int16_t ToSample(double scaled) {
        if (scaled >= 32767.0) return 32767;
        if (scaled > -32768.0) return static_cast<int16_t>(static_cast<int>(scaled));
        if (scaled <= -32768.0) return -32768;
        return 0;
    }
    // n output values (+-1.0) to 16-bit samples.
    static void ToSamples(const double* out, int n, int16_t* samples);

    // The volume's gain reached at the end of the last block.
    double Gain() const { return mGain; }
    // The limiter's gain factor at the end of the last block: 1 when it does nothing.
    double Reduction() const { return mReduction; }
    double Peak() const { return mPeak; }

private:
    void limit(const double* mix, int frames, int channels, double from, double to, double* out);
    void updateVuMeter(bool vu, bool limiter);

    tMasterControls& mControls;
    int mRate = kReferenceRate;
    bool mStarted = false; // the first block starts at the volume's gain
    double mGain = 0.0;
    double mReduction = 1.0;
    double mReleasePerFrame = 1.0;
    double mPeak = 0.0;
    int mMeterWindowFrames = kMeterWindow;
    int mMeterFrames = 0;      // frames since the last VU update
    double mLoadSeconds = 0.0; // of sound since the last load-meter update
    double mLoadMaximum = 0.0; // largest share of a period since then
    double mOverloadShare = kOverloadShare;
    double mOverloadSeconds = kOverloadSeconds;
    double mOverSeconds = 0.0; // of sound in the current run of overloaded periods
    double mOverBusy = 0.0;    // processor time in that run
};
