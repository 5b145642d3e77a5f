#include "dsp/OnePole.h"
#include "dsp/DcBlocker.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(OnePole, FixedModeTakesTheValueAsCoefficientForAnyNote) {
    tOnePole pole;
    pole.setup(44100, 7.2);
    for (double freq : {8.18, 440.0, 12543.0}) {
        pole.update(freq);
        EXPECT_DOUBLE_EQ(pole.b0(), 0.72);
        EXPECT_DOUBLE_EQ(pole.a1(), 1.0 - 0.72);
    }
    pole.setup(44100, 25.0); // limited to 10: the filter passes the input unchanged
    pole.update(440.0);
    EXPECT_DOUBLE_EQ(pole.b0(), 1.0);
    EXPECT_DOUBLE_EQ(pole.a1(), 0.0);
    pole.setup(44100, 0.0); // raised to 0.05
    EXPECT_DOUBLE_EQ(pole.value(), 0.05);
    pole.update(440.0);
    EXPECT_DOUBLE_EQ(pole.b0(), 0.005);
}

TEST(OnePole, TrackingModesAtTheLimitedFrequencyAndTheCeiling) {
    tOnePole pole;
    pole.setMode(tOnePole::kYes);
    pole.setup(44100, 6.0);
    pole.update(20000.0); // 2^5 × 20000 / 44100 is limited to 0.5
    EXPECT_NEAR(pole.a1(), 3.0 - std::sqrt(8.0), 1e-9);
    EXPECT_NEAR(pole.a1(), 0.1716, 5e-5);
    EXPECT_NEAR(pole.b0(), 0.8284, 5e-5);
    pole.setCeiling(0.5);
    pole.update(20000.0);
    EXPECT_DOUBLE_EQ(pole.b0(), 0.5);
    EXPECT_DOUBLE_EQ(pole.a1(), 0.5);

    // fc = 0.25 with value 1: sin(π/4), its square root, and 1 / (cot(π/4) + 1).
    struct {
        int mode;
        double b0;
    } cases[] = {{tOnePole::kCool, 0.5},
                 {tOnePole::kUser1, std::sqrt(0.5)},
                 {tOnePole::kUser2, std::pow(0.5, 0.25)}};
    for (const auto& c : cases) {
        tOnePole p;
        p.setMode(c.mode);
        p.setup(44100, 1.0);
        p.update(11025.0);
        EXPECT_NEAR(p.b0(), c.b0, 1e-9) << "mode " << c.mode;
        EXPECT_DOUBLE_EQ(p.a1(), 1.0 - p.b0());
    }
}

TEST(OnePole, TrackingModesStayFiniteForAnyNoteFrequency) {
    for (int mode = 0; mode <= 4; ++mode) {
        for (double freq : {-100.0, 0.0, 1e-9, 1e9, std::nan("")}) {
            tOnePole pole;
            pole.setMode(mode);
            pole.setup(44100, 3.0);
            pole.update(freq);
            EXPECT_TRUE(std::isfinite(pole.b0()) && std::isfinite(pole.a1()))
                << "mode " << mode << " freq " << freq;
            EXPECT_GE(pole.b0(), 0.0);
            EXPECT_LE(pole.b0(), 1.0);
        }
    }
}

TEST(DcBlocker, ConstantInputSettlesToZero) {
    tDcBlocker dc;
    double y = 0.0;
    for (int i = 0; i < 10000; ++i) y = dc.process(0.7);
    EXPECT_NEAR(y, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(dc.coefficient(), 0.995);

    dc.setCoefficient(0.9);
    EXPECT_DOUBLE_EQ(dc.process(1.0), 1.0); // state cleared by the new coefficient
    EXPECT_DOUBLE_EQ(dc.process(1.0), 0.9);
    dc.resetInput(); // the previous output stays
    EXPECT_DOUBLE_EQ(dc.process(0.0), 0.81);
}
