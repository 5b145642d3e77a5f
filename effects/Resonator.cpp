#include "effects/Resonator.h"

#include "dsp/LanePair.h"
#include "dsp/SampleRate.h"
#include "effects/QuietLevel.h"

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

namespace {
// The bands of one chain with their state in registers: each adds its resonance of the value
// as it leaves the band before. T is a double, or a pair for two channels side by side.
template <int Bands, class T> struct tBandChain {
    T a0[Bands];
    T b1[Bands];
    T b2[Bands];
    T y1[Bands];
    T y2[Bands];
    T gain[Bands];

    T step(T v) {
#pragma GCC unroll 5
        for (int k = 0; k < Bands; ++k) {
            const T y = a0[k] * v - b1[k] * y1[k] - b2[k] * y2[k];
            y2[k] = y1[k];
            y1[k] = y;
            v += gain[k] * y;
        }
        return v;
    }
};
} // namespace

template <int Bands>
void tResonator::run(tLayout layout, const int* active, double* buf, int count) {
    if (layout == kPaired) {
        tBandChain<Bands, tLanePair> chain;
        for (int j = 0; j < Bands; ++j) {
            const tResonatorBand& l = mLeft[active[j]];
            const tResonatorBand& r = mRight[active[j]];
            chain.a0[j] = LanePair(l.a0(), r.a0());
            chain.b1[j] = LanePair(l.b1(), r.b1());
            chain.b2[j] = LanePair(l.b2(), r.b2());
            chain.y1[j] = LanePair(l.y1(), r.y1());
            chain.y2[j] = LanePair(l.y2(), r.y2());
            chain.gain[j] = Broadcast(mBandGain[active[j]]);
        }
        for (int i = 0; i + 1 < count; i += 2)
            StoreLanes(buf + i, buf + i + 1, chain.step(LoadLanes(buf + i, buf + i + 1)));
        for (int j = 0; j < Bands; ++j) {
            mLeft[active[j]].setState(chain.y1[j][0], chain.y2[j][0]);
            mRight[active[j]].setState(chain.y1[j][1], chain.y2[j][1]);
        }
        return;
    }
    tBandChain<Bands, double> chain;
    for (int j = 0; j < Bands; ++j) {
        const tResonatorBand& band = mLeft[active[j]];
        chain.a0[j] = band.a0();
        chain.b1[j] = band.b1();
        chain.b2[j] = band.b2();
        chain.y1[j] = band.y1();
        chain.y2[j] = band.y2();
        chain.gain[j] = mBandGain[active[j]];
    }
    if (layout == kMono) {
        for (int i = 0; i < count; ++i) buf[i] = chain.step(buf[i]);
    } else {
        for (int i = 0; i + 1 < count; i += 2) {
            const double y = chain.step(buf[i]);
            buf[i] = y;
            buf[i + 1] = y;
        }
    }
    for (int j = 0; j < Bands; ++j) mLeft[active[j]].setState(chain.y1[j], chain.y2[j]);
}

void tResonator::process(double* buf, int count) {
    // A band whose gain is 0 is not stepped: its state stays as it was.
    int active[kBands];
    int n = 0;
    for (int k = 0; k < kBands; ++k)
        if (mBandGain[k] != 0.0) active[n++] = k;
    tLayout layout = kMono;
    if (mChannels != 1) layout = mGroup.stereo.IsOn() ? kPaired : kFirstToBoth;
    switch (n) {
    case 0:
        // Nothing resonates: the chain passes its input.
        if (layout == kFirstToBoth)
            for (int i = 0; i + 1 < count; i += 2) buf[i + 1] = buf[i];
        break;
    case 1:
        run<1>(layout, active, buf, count);
        break;
    case 2:
        run<2>(layout, active, buf, count);
        break;
    case 3:
        run<3>(layout, active, buf, count);
        break;
    case 4:
        run<4>(layout, active, buf, count);
        break;
    default:
        run<5>(layout, active, buf, count);
        break;
    }
}

bool tResonator::quiet(double level) const {
    // Each band in use rings on from its last two outputs; the ring reaches the signal
    // through the band's gain.
    const bool second = mChannels != 1 && mGroup.stereo.IsOn();
    double ring = 0.0;
    for (int k = 0; k < kBands; ++k) {
        if (mBandGain[k] == 0.0) continue;
        for (const tResonatorBand* band : {&mLeft[k], &mRight[k]}) {
            if (band == &mRight[k] && !second) continue;
            ring += std::fabs(mBandGain[k]) *
                    RingBound(band->y1(), band->y2(), -band->b1(), -band->b2());
        }
    }
    return ring <= level;
}
