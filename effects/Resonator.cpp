#include "effects/Resonator.h"

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185308;

double NominalFrequency(int k) {
    return 45.0 * static_cast<double>(1 << k);
}
} // namespace

void tResonatorBand::setup(int rate, double bandwidth) {
    mRate = rate;
    mBandwidth = bandwidth;
}

namespace {
// cos of the poles' angle for a band: the design places the poles at radius sqrt(c) and at an
// angle whose cosine is 2 sqrt(c) / (1 + c) times that of the centre frequency, a little
// above it, by an amount that depends on the rate.
double PoleCosine(double c, double frequency, int rate) {
    return 2.0 * std::sqrt(c) / (c + 1.0) * std::cos(kTwoPi * frequency / rate);
}
} // namespace

void tResonatorBand::setFrequency(double frequency) {
    const double c = std::exp(-kTwoPi * mBandwidth / mRate);
    mB2 = c;
    if (mRate == kReferenceRate) {
        mB1 = -4.0 * c / (c + 1.0) * std::cos(kTwoPi * frequency / mRate);
    } else {
        // The poles go where they lie at the reference rate, in hertz: the band rings at the
        // same pitch and (c follows the rate) dies away as fast.
        const double c0 = std::exp(-kTwoPi * mBandwidth / kReferenceRate);
        const double angle =
            std::acos(std::clamp(PoleCosine(c0, frequency, kReferenceRate), -1.0, 1.0));
        mB1 = -2.0 * std::sqrt(c) * std::cos(angle / rateScale(mRate));
    }
    mA0 = (1.0 - c) * std::sqrt(std::max(0.0, 1.0 - mB1 * mB1 / (4.0 * c)));
}

tResonator::tResonator(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.resonator) {
    reset();
}

void tResonator::getParams(int* out) const {
    for (int k = 0; k < kBands; ++k) out[k] = PatchInt(mGroup.bands[k], 100.0);
    out[5] = PatchInt(mGroup.on);
    out[6] = PatchInt(mGroup.volume, 100.0);
    out[7] = PatchInt(mGroup.frequencyX2);
    out[8] = PatchInt(mGroup.stereo);
    out[9] = -1;
}

void tResonator::setParams(const int* in) {
    const tRecord record(in);
    for (int k = 0; k < kBands; ++k) record.apply(k, mGroup.bands[k], 100.0);
    record.apply(5, mGroup.on);
    // A record shorter than six values is damaged: the rest stays as it was.
    if (record.count() < 6) return;
    int next = 6;
    if (record.has(6)) {
        record.apply(6, mGroup.volume, 100.0);
        next = 7;
    }
    const int doubling = record[next];
    mGroup.frequencyX2.SetRaw(doubling < 0 ? 0 : doubling);
    if (next == 7 && doubling >= 0 && record.has(8))
        record.apply(8, mGroup.stereo);
    else
        mGroup.stereo.SetRaw(0);
}

void tResonator::tune(double factor, bool secondChannel) {
    for (int k = 0; k < kBands; ++k) {
        mLeft[k].setFrequency(factor * NominalFrequency(k));
        mLeft[k].clear();
        if (secondChannel) {
            mRight[k].setFrequency(factor * NominalFrequency(k));
            mRight[k].clear();
        }
    }
}

void tResonator::reset() {
    mDoubled = false;
    for (int k = 0; k < kBands; ++k) {
        for (tResonatorBand* band : {&mLeft[k], &mRight[k]}) {
            band->setup(mRate, NominalFrequency(k) / 4.0);
            band->setFrequency(NominalFrequency(k));
            band->clear();
        }
    }
}

void tResonator::clear() {
    for (tResonatorBand* bands : {mLeft, mRight})
        for (int k = 0; k < kBands; ++k) bands[k].clear();
}

void tResonator::update() {
    const double c = SliderLaw(SliderValue(mGroup.volume));
    const bool x2 = mGroup.frequencyX2.IsOn();
    if (x2 != mDoubled) {
        // The second channel follows only while "stereo" is set; otherwise it keeps its
        // frequencies until the next reset.
        mDoubled = x2;
        tune(x2 ? 2.0 : 1.0, mGroup.stereo.IsOn());
    }
    for (int k = 0; k < kBands; ++k)
        mBandGain[k] = c * (std::exp(SliderValue(mGroup.bands[k])) - 1.0);
}

double tResonator::chain(tResonatorBand* bands, double x) const {
    double v = x;
    for (int k = 0; k < kBands; ++k) {
        if (mBandGain[k] != 0.0) v += mBandGain[k] * bands[k].step(v);
    }
    return v;
}

void tResonator::process(double* buf, int count) {
    if (mChannels == 1) {
        for (int i = 0; i < count; ++i) buf[i] = chain(mLeft, buf[i]);
        return;
    }
    if (mGroup.stereo.IsOn()) {
        for (int i = 0; i + 1 < count; i += 2) {
            buf[i] = chain(mLeft, buf[i]);
            buf[i + 1] = chain(mRight, buf[i + 1]);
        }
        return;
    }
    for (int i = 0; i + 1 < count; i += 2) {
        const double y = chain(mLeft, buf[i]);
        buf[i] = y;
        buf[i + 1] = y;
    }
}
