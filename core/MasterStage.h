// The last step of every block: master gain, limiter, the VU and load meters, and the overload
// decision.
//
// Runs on the rendering thread; never allocates, locks or waits. The gain follows the master
// volume v as (2^(v/3) - 1) x 32768 and is recomputed only at the start of each meter window.
// With the limiter on, a block whose scaled peak (held over the window) passes 99 % of full
// scale has its gain scaled so that the peak lands at half scale. The output is the scaled
// block divided by full scale (+-1.0); the 16-bit sample of an output value x is
// ToSample(x * kFullScale), exactly the scaled value's.
//
// The meter and load windows are times: 42 and 102 blocks of 128 frames at 44100 Hz, kept in
// seconds at every rate and counted in frames, so that blocks of any length fill them.
#pragma once

#include "core/LoadCounters.h"
#include "core/MasterControls.h"

#include <cstdint>

class tMasterStage {
public:
    static constexpr int kMeterWindow = 42 * 128;   // frames per VU update at 44100 Hz
    static constexpr int kLoadWindow = 102 * 128;   // frames per load-meter update at 44100 Hz
    static constexpr double kFullScale = 32768.0;   // gain at volume 3
    static constexpr double kLimitPeak = 32440.32;  // 0.99 of full scale
    static constexpr double kHotPeak = 26214.4;     // 0.8 of full scale
    static constexpr double kLimitTarget = 16384.0; // where the limiter puts the peak

    tMasterStage(tMasterControls& controls, tLoadCounters& counters);
    tMasterStage(const tMasterStage&) = delete;
    tMasterStage& operator=(const tMasterStage&) = delete;

    // The rate the blocks come at (44100 until set): the windows keep their length in
    // seconds. Audio off only.
    void SetSampleRate(int rate);
    int MeterWindowFrames() const { return mMeterWindowFrames; }
    int LoadWindowFrames() const { return mLoadWindowFrames; }

    // One block of the rack's mix (frames x channels doubles, interleaved) into out, the
    // same number of values at full scale +-1.0.
    void Process(const double* mix, int frames, int channels, double* out);
    // Once per period of the audio device: the load meter, from the blocks-since-tick
    // counter (read, not counted). Fragments is the device's period count, which widens the
    // thresholds. Returns true when the machine is overloaded and audio must be switched off.
    bool UpdateLoad(int frames, int fragments);

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
    static void ToSamples(const double* out, int n, int16_t* samples) {
        for (int i = 0; i < n; ++i) samples[i] = ToSample(out[i] * kFullScale);
    }

    double Gain() const { return mGain; }
    double Peak() const { return mPeak; }

private:
    void scale(const double* mix, int n, double* out);
    void scaleTrackingPeak(const double* mix, int n, double* out);
    void updateVuMeter(bool vu, bool limiter);

    tMasterControls& mControls;
    tLoadCounters& mCounters;
    double mGain = 1.0;
    double mPeak = 0.0;
    int mMeterWindowFrames = kMeterWindow;
    int mLoadWindowFrames = kLoadWindow;
    int mMeterFrames = 0; // frames since the last VU update; the gain is recomputed at 0
    int mLoadFrames = 0;  // frames since the last load-meter update
    int mLoadMaximum = 0;
};
