#include "dsp/MultiFilter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectSameCoefficients(const tSecondOrderSection& a, const tSecondOrderSection& b,
                            const char* what) {
    EXPECT_EQ(a.gain(), b.gain()) << what;
    EXPECT_EQ(a.c1(), b.c1()) << what;
    EXPECT_EQ(a.c2(), b.c2()) << what;
}

} // namespace

TEST(Filter, ButterworthLowPassAtOneKilohertz) {
    EXPECT_NEAR(prewarp(1000.0, 44100), 14.0137120, 5e-8);

    tLowPass2 filter;
    filter.setSampleRate(44100);
    filter.setType(kButterworth);
    filter.setResonance(1.0);
    filter.setFrequency(1000.0);
    EXPECT_NEAR(filter.second().gain(), 0.00460400250, 5e-12);
    EXPECT_NEAR(filter.second().c1(), 1.79909798, 5e-9);
    EXPECT_NEAR(filter.second().c2(), -0.817513994, 5e-10);

    filter.setResonance(3.0); // r = e²; heard only from the next setFrequency
    EXPECT_NEAR(filter.second().gain(), 0.00460400250, 5e-12);
    filter.setFrequency(1000.0);
    EXPECT_DOUBLE_EQ(filter.second().resonance(), std::exp(2.0));
    EXPECT_NEAR(filter.second().gain(), 0.00488579865, 5e-12);
    EXPECT_NEAR(filter.second().c1(), 1.90921497, 5e-9);
    EXPECT_NEAR(filter.second().c2(), -0.928758165, 5e-10);
}

TEST(Filter, ResonanceSettingsAreClampedPerKind) {
    tLowPass2 low;
    tHighPass2 high;
    for (double setting : {-5.0, 0.0, 1.0, std::nan("")}) {
        low.setResonance(setting);
        high.setResonance(setting);
        EXPECT_EQ(low.second().resonance(), 1.0) << setting;
        EXPECT_EQ(high.second().resonance(), 1.0) << setting;
    }
    low.setResonance(30.0);
    high.setResonance(30.0);
    EXPECT_DOUBLE_EQ(low.second().resonance(), std::exp(10.0));
    EXPECT_DOUBLE_EQ(high.second().resonance(), std::exp(9.0));

    tLowPass3 low3; // the first-order section of a cascade has no resonance
    low3.setResonance(5.0);
    EXPECT_DOUBLE_EQ(low3.second().resonance(), std::exp(4.0));
    tHighPass4 high4;
    high4.setResonance(5.0);
    EXPECT_DOUBLE_EQ(high4.first().resonance(), std::exp(4.0));
    EXPECT_DOUBLE_EQ(high4.second().resonance(), std::exp(4.0));
}

TEST(Filter, BandPassQualityFromTheResonanceSetting) {
    struct {
        double setting, q;
    } cases[] = {{-1.0, 1.0 / 3.0},    {2.0, 1.0 / 3.0},      {4.0, 2.0 / 3.0},     {6.0, 1.0},
                 {8.0, std::exp(1.0)}, {12.0, std::exp(3.0)}, {40.0, std::exp(3.0)}};
    for (const auto& c : cases) {
        tBandPass2 band;
        EXPECT_DOUBLE_EQ(band.section().quality(), 1.0 / 3.0);
        band.setResonance(c.setting);
        EXPECT_DOUBLE_EQ(band.section().quality(), c.q) << c.setting;
    }
}

TEST(Filter, CutoffClampingAtTheLowEndAndAtRateOverTwoPointFour) {
    auto lowPass = [](double f) {
        tLowPass2 filter;
        filter.setSampleRate(44100);
        filter.setFrequency(f);
        return filter.second();
    };
    ExpectSameCoefficients(lowPass(0.0), lowPass(20.0), "low pass at 0 Hz");
    ExpectSameCoefficients(lowPass(-300.0), lowPass(20.0), "low pass below 0 Hz");
    EXPECT_NE(lowPass(10.0).gain(), lowPass(20.0).gain()); // above 0 Hz stays as given
    ExpectSameCoefficients(lowPass(30000.0), lowPass(18375.0), "low pass above rate / 2.4");
    ExpectSameCoefficients(lowPass(1e300), lowPass(18375.0), "low pass far above");
    ExpectSameCoefficients(lowPass(std::nan("")), lowPass(18375.0), "low pass without number");
    EXPECT_NE(lowPass(18000.0).gain(), lowPass(18375.0).gain());

    auto highPass = [](double f) {
        tHighPass2 filter;
        filter.setSampleRate(44100);
        filter.setFrequency(f);
        return filter.second();
    };
    for (double f : {-10.0, 0.0, 5.0, 19.99})
        ExpectSameCoefficients(highPass(f), highPass(20.0), "high pass below 20 Hz");
    ExpectSameCoefficients(highPass(25000.0), highPass(18375.0), "high pass above rate / 2.4");

    auto bandPass = [](double f) {
        tBandPass2 filter;
        filter.setSampleRate(44100);
        filter.setFrequency(f);
        return filter.section();
    };
    ExpectSameCoefficients(bandPass(0.0), bandPass(5.0), "band pass at 0 Hz");
    EXPECT_NE(bandPass(2.0).gain(), bandPass(5.0).gain());
    ExpectSameCoefficients(bandPass(22050.0), bandPass(18375.0), "band pass above rate / 2.4");

    // The cap follows the rate: at 22050 Hz it is 9187.5 Hz.
    tLowPass1 a, b;
    a.setSampleRate(22050);
    b.setSampleRate(22050);
    a.setFrequency(15000.0);
    b.setFrequency(9187.5);
    EXPECT_EQ(a.first().b0(), b.first().b0());
    EXPECT_EQ(a.first().a1(), b.first().a1());
}

TEST(Filter, TypesLoadTheirPolesAndUnknownTypesAreCritical) {
    tLowPass4 filter;
    EXPECT_EQ(filter.first().a(), 0.87); // critical after construction
    filter.setType(kChebyshev3);
    EXPECT_EQ(filter.first().a(), 2.1853);
    EXPECT_EQ(filter.first().b(), 5.5339);
    EXPECT_EQ(filter.second().a(), 0.1964);
    EXPECT_EQ(filter.second().b(), 1.2009);
    filter.setType(7);
    EXPECT_EQ(filter.second().b(), 0.1892);
    filter.setType(-1);
    EXPECT_EQ(filter.first().a(), 0.87);

    tHighPass3 high;
    high.setType(kBessel);
    EXPECT_EQ(high.first().g(), 0.756);
    EXPECT_EQ(high.second().a(), 0.9996);
    high.setCoefficients(2.0, 3.0, 4.0); // direct poles, through the common interface too
    tFilter& common = high;
    common.setCoefficients(1.0); // a third-order filter has no one-value form
    EXPECT_EQ(high.first().g(), 2.0);
    EXPECT_EQ(high.second().b(), 4.0);

    tLowPass1 first; // order 1 has no type: g stays 1
    first.setType(kChebyshev3);
    EXPECT_EQ(first.first().g(), 1.0);
}

TEST(MultiFilter, ModeAndOrderChooseTheCurrentFilter) {
    tMultiFilter multi;
    EXPECT_EQ(multi.current(), multi.filter(1)); // second-order low pass
    multi.setOrder(3);
    EXPECT_EQ(multi.current(), multi.filter(3));
    multi.setMode(tMultiFilter::kHighPass);
    EXPECT_EQ(multi.current(), multi.filter(7));
    multi.setOrder(-4);
    EXPECT_EQ(multi.current(), multi.filter(4));
    multi.setOrder(9);
    EXPECT_EQ(multi.current(), multi.filter(7));

    multi.setMode(tMultiFilter::kBandPass);
    EXPECT_EQ(multi.current(), multi.filter(8));
    multi.setOrder(0); // ignored in band pass mode
    EXPECT_EQ(multi.current(), multi.filter(8));
    EXPECT_EQ(multi.orderIndex(), 3);
    multi.setMode(5); // unknown mode: stays band pass
    EXPECT_EQ(multi.current(), multi.filter(8));
    multi.setMode(tMultiFilter::kLowPass); // the stored order comes back
    EXPECT_EQ(multi.current(), multi.filter(3));
    multi.setMode(tMultiFilter::kHighPass);
    EXPECT_EQ(multi.current(), multi.filter(7));
}

TEST(MultiFilter, ForwardsToTheCurrentFilterOnlyButRateToAll) {
    tMultiFilter multi;
    multi.setType(kButterworth); // reaches the second-order low pass only
    multi.setOrder(3);
    const auto* low4 = static_cast<const tLowPass4*>(multi.filter(3));
    EXPECT_EQ(low4->first().a(), 0.87);
    const auto* low2 = static_cast<const tLowPass2*>(multi.filter(1));
    EXPECT_EQ(low2->second().a(), 1.4142);

    multi.setSampleRate(22050);
    for (int i = 0; i < 9; ++i) {
        tFilter* f = multi.filter(i);
        int rate = 0;
        if (auto* p = dynamic_cast<tLowPass1*>(f)) rate = p->sampleRate();
        if (auto* p = dynamic_cast<tLowPass4*>(f)) rate = p->sampleRate();
        if (auto* p = dynamic_cast<tHighPass3*>(f)) rate = p->sampleRate();
        if (auto* p = dynamic_cast<tBandPass2*>(f)) rate = p->sampleRate();
        if (rate != 0) {
            EXPECT_EQ(rate, 22050) << i;
        }
    }

    // Same output as the concrete filter it forwards to.
    tLowPass4 reference;
    reference.setSampleRate(22050);
    reference.setResonance(4.0);
    reference.setFrequency(800.0);
    multi.setResonance(4.0);
    multi.setFrequency(800.0);
    for (int n = 0; n < 64; ++n) {
        const double x = n == 0 ? 1.0 : 0.0;
        ASSERT_EQ(multi.process(x), reference.process(x)) << n;
    }
    multi.reset();
    reference.reset();
    EXPECT_EQ(multi.process(0.5), reference.process(0.5));
}
