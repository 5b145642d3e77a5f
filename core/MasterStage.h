// The last step of every block: master gain, limiter, conversion to 16-bit samples, the VU
// and load meters, and the overload decision.
//
// Runs on the rendering thread; never allocates, locks or waits. The gain follows the master
// volume v as (2^(v/3) - 1) x 32768 and is recomputed only at the start of each 42-block
// meter window. With the limiter on, a block whose scaled peak (held over the window) passes
// 99 % of full scale has its gain scaled so that the peak lands at half scale.
#pragma once

#include "core/LoadCounters.h"
#include "core/MasterControls.h"

#include <cstdint>

class tMasterStage {
public:
    static constexpr int kSampleCount = 2048;       // 16-bit values in the sample buffer
    static constexpr int kMeterWindow = 42;         // blocks per VU update
    static constexpr int kLoadWindow = 102;         // blocks per load-meter update
    static constexpr double kFullScale = 32768.0;   // gain at volume 3
    static constexpr double kLimitPeak = 32440.32;  // 0.99 of full scale
    static constexpr double kHotPeak = 26214.4;     // 0.8 of full scale
    static constexpr double kLimitTarget = 16384.0; // where the limiter puts the peak

    tMasterStage(tMasterControls& controls, tLoadCounters& counters);
    tMasterStage(const tMasterStage&) = delete;
    tMasterStage& operator=(const tMasterStage&) = delete;

    // One block of the rack's mix (frames x channels doubles, interleaved). Fragments is the
    // device's period count, which widens the load and overload thresholds. Returns true
    // when the machine is overloaded and audio must be switched off. The blocks-since-tick
    // counter is read, not counted.
    bool Process(const double* mix, int frames, int channels, int fragments);
    // frames x channels values of the last Process (zeros before the first).
    const int16_t* Samples() const { return mSamples; }

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

    double Gain() const { return mGain; }
    double Peak() const { return mPeak; }

private:
    void convert(const double* mix, int n);
    void convertTrackingPeak(const double* mix, int n);
    void updateVuMeter(bool vu, bool limiter);
    void updateLoadMeter(int frames, int fragments, int blocks);

    tMasterControls& mControls;
    tLoadCounters& mCounters;
    int16_t mSamples[kSampleCount] = {};
    double mGain = 1.0;
    double mPeak = 0.0;
    int mMeterCounter = 0;
    int mLoadCounter = 0;
    int mLoadMaximum = 0;
};
