// Five two-pole resonances in octave steps (45 Hz to 720 Hz, or doubled), each added to the
// signal as it leaves the previous one.
#pragma once

#include "effects/EffectUnit.h"

// A two-pole resonator with a fixed bandwidth in Hz.
class tResonatorBand {
public:
    void setup(int rate, double bandwidth);
    void setFrequency(double frequency);
    void clear() { mY1 = mY2 = 0.0; }
    double step(double x) {
        const double y = mA0 * x - mB1 * mY1 - mB2 * mY2;
        mY2 = mY1;
        mY1 = y;
        return y;
    }
    double a0() const { return mA0; }
    double b1() const { return mB1; }
    double b2() const { return mB2; }
    // The last two outputs.
    double y1() const { return mY1; }
    double y2() const { return mY2; }
    void setState(double y1, double y2) {
        mY1 = y1;
        mY2 = y2;
    }

private:
    int mRate = 44100;
    double mBandwidth = 0.0;
    double mA0 = 0.0;
    double mB1 = 0.0;
    double mB2 = 0.0;
    double mY1 = 0.0;
    double mY2 = 0.0;
};

class tResonator : public tEffectUnit {
public:
    static constexpr int kBands = tResonatorControls::kBands;

    explicit tResonator(tEffectsControls& controls);

    void getParams(int* out) const override;
    // Accepts records of 6 to 9 values: older texts lack the volume and the last switches.
    void setParams(const int* in) override;
    void update() override;
    void reset() override;
    // Clears the bands' state; their tuning stays.
    void clear() override;
    void process(double* buf, int count) override;
    bool isOn() const override { return mGroup.on.IsOn(); }
    bool quiet(double level) const override;

    double bandGain(int k) const { return mBandGain[k]; }
    bool doubled() const { return mDoubled; }
    const tResonatorBand& band(int channel, int k) const {
        return channel == 0 ? mLeft[k] : mRight[k];
    }

private:
    // How process runs the channels: mono, both channels through their own bands, or the
    // first channel's result written to both.
    enum tLayout { kMono, kPaired, kFirstToBoth };

    void tune(double factor, bool secondChannel);
    // The chain through the bands whose gain is not 0 (n of them, listed in active).
    template <int Bands> void run(tLayout layout, const int* active, double* buf, int count);

    tResonatorControls& mGroup;
    bool mDoubled = false;
    double mBandGain[kBands] = {};
    tResonatorBand mLeft[kBands];
    tResonatorBand mRight[kBands];
};
