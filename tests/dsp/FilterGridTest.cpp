// Properties of the filter family over its whole parameter grid: every kind and order,
// every response type, resonance settings 1..12 and cutoffs from 0 Hz to 30 kHz.
#include "dsp/BandPass.h"
#include "dsp/HighPass.h"
#include "dsp/LowPass.h"
#include "dsp/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <string>

namespace {

using tComplex = std::complex<double>;

enum tKind { kLow1, kLow2, kLow3, kLow4, kHigh1, kHigh2, kHigh3, kHigh4, kBand, kKinds };
const char* const kKindNames[kKinds] = {"low pass 1",  "low pass 2",  "low pass 3",
                                        "low pass 4",  "high pass 1", "high pass 2",
                                        "high pass 3", "high pass 4", "band pass"};

const double kCutoffs[] = {0.0,    1.0,    5.0,     20.0,    55.0,    150.0,   440.0,   1000.0,
                           2500.0, 6000.0, 11000.0, 16000.0, 18375.0, 20000.0, 22050.0, 30000.0};

bool IsLowPass(int kind) {
    return kind <= kLow4;
}

std::unique_ptr<tFilter> MakeFilter(int kind) {
    switch (kind) {
    case kLow1:
        return std::make_unique<tLowPass1>();
    case kLow2:
        return std::make_unique<tLowPass2>();
    case kLow3:
        return std::make_unique<tLowPass3>();
    case kLow4:
        return std::make_unique<tLowPass4>();
    case kHigh1:
        return std::make_unique<tHighPass1>();
    case kHigh2:
        return std::make_unique<tHighPass2>();
    case kHigh3:
        return std::make_unique<tHighPass3>();
    case kHigh4:
        return std::make_unique<tHighPass4>();
    default:
        return std::make_unique<tBandPass2>();
    }
}

// The sections of a filter in cascade order, and the numerator shape of its second-order
// sections (0 low pass, 1 high pass, 2 band pass).
struct tSections {
    const tFirstOrderSection* first = nullptr;
    const tSecondOrderSection* second[2] = {nullptr, nullptr};
    int shape = 0;
};

template <class tF> const tF& As(const tFilter& filter) {
    return static_cast<const tF&>(filter);
}

tSections SectionsOf(const tFilter& f, int kind) {
    switch (kind) {
    case kLow1:
        return {&As<tLowPass1>(f).first(), {}, 0};
    case kLow2:
        return {nullptr, {&As<tLowPass2>(f).second()}, 0};
    case kLow3:
        return {&As<tLowPass3>(f).first(), {&As<tLowPass3>(f).second()}, 0};
    case kLow4:
        return {nullptr, {&As<tLowPass4>(f).first(), &As<tLowPass4>(f).second()}, 0};
    case kHigh1:
        return {&As<tHighPass1>(f).first(), {}, 1};
    case kHigh2:
        return {nullptr, {&As<tHighPass2>(f).second()}, 1};
    case kHigh3:
        return {&As<tHighPass3>(f).first(), {&As<tHighPass3>(f).second()}, 1};
    case kHigh4:
        return {nullptr, {&As<tHighPass4>(f).first(), &As<tHighPass4>(f).second()}, 1};
    default:
        return {nullptr, {&As<tBandPass2>(f).section()}, 2};
    }
}

// The filter's response at z = e^(jw), from its coefficients (zi = 1/z).
tComplex Response(const tFilter& filter, int kind, double w) {
    const tComplex zi = std::exp(tComplex(0.0, -w));
    const tSections sections = SectionsOf(filter, kind);
    tComplex h = 1.0;
    if (const tFirstOrderSection* s = sections.first)
        h *= s->b0() * (sections.shape == 0 ? 1.0 + zi : 1.0 - zi) / (1.0 + s->a1() * zi);
    for (const tSecondOrderSection* s : sections.second) {
        if (s == nullptr) continue;
        const tComplex numerator = sections.shape == 0   ? 1.0 + 2.0 * zi + zi * zi
                                   : sections.shape == 1 ? 1.0 - 2.0 * zi + zi * zi
                                                         : 1.0 - zi * zi;
        h *= s->gain() * numerator / (1.0 - s->c1() * zi - s->c2() * zi * zi);
    }
    return h;
}

// Every pole inside the unit circle.
bool Stable(const tFilter& filter, int kind) {
    const tSections sections = SectionsOf(filter, kind);
    bool stable = sections.first == nullptr || std::fabs(sections.first->a1()) < 1.0;
    for (const tSecondOrderSection* s : sections.second)
        if (s != nullptr)
            stable = stable && std::fabs(s->c2()) < 1.0 && std::fabs(s->c1()) < 1.0 - s->c2();
    return stable;
}

// Calls f(filter, kind, type, setting, cutoff) for every point of the grid, the filter set
// up in the owners' order.
template <class tBody> void ForEachGridPoint(tBody body) {
    for (int kind = 0; kind < kKinds; ++kind)
        for (int type = 0; type < 5; ++type)
            for (int setting = 1; setting <= 12; ++setting)
                for (double cutoff : kCutoffs) {
                    auto filter = MakeFilter(kind);
                    filter->setSampleRate(44100);
                    filter->setType(type);
                    filter->setResonance(setting);
                    filter->setFrequency(cutoff);
                    body(*filter, kind, type, setting, cutoff);
                }
}

std::string Where(int kind, int type, int setting, double cutoff) {
    return std::string(kKindNames[kind]) + ", type " + std::to_string(type) + ", resonance " +
           std::to_string(setting) + ", " + std::to_string(cutoff) + " Hz";
}

// Amplitude of the filter's steady response to a sine of frequency f.
double SineGain(tFilter& filter, double f) {
    const double w = 2.0 * M_PI * f / 44100.0;
    double ss = 0.0, cc = 0.0, sc = 0.0, ys = 0.0, yc = 0.0;
    for (int n = 0; n < 40000; ++n) {
        const double sn = std::sin(w * n), cn = std::cos(w * n);
        const double y = filter.process(sn);
        if (n < 20000) continue;
        ss += sn * sn;
        cc += cn * cn;
        sc += sn * cn;
        ys += y * sn;
        yc += y * cn;
    }
    const double det = ss * cc - sc * sc;
    return std::hypot((ys * cc - yc * sc) / det, (yc * ss - ys * sc) / det);
}

} // namespace

TEST(FilterGrid, LowPassesPassDcAndHighPassesNyquistAtUnityGain) {
    ForEachGridPoint([](tFilter& filter, int kind, int type, int setting, double cutoff) {
        if (kind == kBand) return;
        const double w = IsLowPass(kind) ? 0.0 : M_PI;
        const tComplex h = Response(filter, kind, w);
        ASSERT_NEAR(h.real(), 1.0, 1e-6) << Where(kind, type, setting, cutoff);
        ASSERT_NEAR(h.imag(), 0.0, 1e-6) << Where(kind, type, setting, cutoff);
    });
}

TEST(FilterGrid, BandPassPeaksAtUnityOnItsCentre) {
    ForEachGridPoint([](tFilter& filter, int kind, int type, int setting, double cutoff) {
        if (kind != kBand) return;
        double centre = cutoff <= 0.0 ? 5.0 : cutoff;
        if (centre >= 44100 / 2.4) centre = 44100 / 2.4;
        const tComplex h = Response(filter, kind, 2.0 * 3.141592654 * centre / 44100.0);
        ASSERT_NEAR(std::abs(h), 1.0, 1e-9) << Where(kind, type, setting, cutoff);
        ASSERT_LT(std::abs(Response(filter, kind, 0.5 * 2.0 * M_PI * centre / 44100.0)), 1.0);
    });
}

TEST(FilterGrid, EveryFilterIsStableAndBoundedOnWhiteNoise) {
    tRandom random;
    ForEachGridPoint([&](tFilter& filter, int kind, int type, int setting, double cutoff) {
        ASSERT_TRUE(Stable(filter, kind)) << Where(kind, type, setting, cutoff);
        double peak = 0.0;
        bool finite = true;
        for (int n = 0; n < 4096; ++n) {
            const double y = filter.process((random.next() - 1073741823) * 9.313225754828403e-10);
            finite = finite && std::isfinite(y);
            peak = std::max(peak, std::fabs(y));
        }
        // The most resonant corners ring up to about a thousand times the input.
        ASSERT_TRUE(finite) << Where(kind, type, setting, cutoff);
        ASSERT_LT(peak, 1e4) << Where(kind, type, setting, cutoff);
    });
}

TEST(FilterGrid, ConstantInputSettlesToTheSameConstant) {
    // Through process itself, where the settling is quick enough to wait for.
    ForEachGridPoint([](tFilter& filter, int kind, int type, int setting, double cutoff) {
        if (kind == kBand || setting > 4 || cutoff < 400.0) return;
        const bool low = IsLowPass(kind);
        double y = 0.0;
        for (int n = 0; n < 20000; ++n) {
            const double x = low || n % 2 == 0 ? 0.75 : -0.75;
            y = filter.process(x) / (x / 0.75);
        }
        ASSERT_NEAR(y, 0.75, 1e-6) << Where(kind, type, setting, cutoff);
    });
}

TEST(FilterGrid, ButterworthIsThreeDecibelsDownAtEveryCutoff) {
    for (int kind = 0; kind < kBand; ++kind) {
        for (double cutoff : {200.0, 1000.0, 5000.0, 15000.0}) {
            auto filter = MakeFilter(kind);
            filter->setSampleRate(44100);
            filter->setType(kButterworth);
            filter->setResonance(1.0);
            filter->setFrequency(cutoff);
            EXPECT_NEAR(SineGain(*filter, cutoff), std::sqrt(0.5), 1e-3)
                << kKindNames[kind] << " at " << cutoff;
        }
    }
}

TEST(FilterGrid, ResonanceRaisesTheQualityFactorByTheRootOfR) {
    // At the natural frequency a second-order section answers √r · √b / a, whatever r.
    for (int kind : {kLow2, kHigh2}) {
        for (int setting = 1; setting <= 12; ++setting) {
            auto filter = MakeFilter(kind);
            filter->setSampleRate(44100);
            filter->setType(kButterworth);
            filter->setResonance(setting);
            filter->setFrequency(3000.0);
            const double highest = kind == kLow2 ? 11.0 : 10.0;
            const double r = std::exp(std::min<double>(setting, highest) - 1.0);
            const double w = 2.0 * 3.141592654 * 3000.0 / 44100.0;
            EXPECT_NEAR(std::abs(Response(*filter, kind, w)) / (std::sqrt(r) / 1.4142), 1.0, 1e-6)
                << kKindNames[kind] << ", resonance " << setting;
        }
    }
}
