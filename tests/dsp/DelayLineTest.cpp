#include "dsp/DelayLine.h"
#include "dsp/FracDelay.h"
#include "dsp/SimpleDelay.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Runs a delay loop the way the voices do (read the output, then write) and returns the step
// at which an impulse written at step 0 comes back, or -1.
template <class tLine> int LoopPeriod(tLine& line, int steps) {
    for (int n = 0; n < steps; ++n) {
        const double out = line.output();
        if (n > 0 && out > 0.5) return n;
        line.write(n == 0 ? 1.0 : 0.0);
    }
    return -1;
}

} // namespace

TEST(DelayLine, LengthReadPositionAndCoefficientForANote) {
    tDelayLine line;
    line.setLength(100.2272727, 69);
    EXPECT_EQ(line.length(), 102);
    EXPECT_EQ(line.readPosition(), 3);
    EXPECT_EQ(line.writePosition(), 0);
    EXPECT_DOUBLE_EQ(line.coefficient(), (1.0 - 0.227202) / (1.0 + 0.227202));

    line.setLength(100.2272727, 128); // no fraction: a plain one-sample delay
    EXPECT_EQ(line.coefficient(), 0.0);
    line.setLength(100.2272727, -3);
    EXPECT_EQ(line.coefficient(), 0.0);
}

TEST(DelayLine, WholePeriodsComeBackExactlyOnTime) {
    for (int d : {2, 3, 4, 5, 17, 100, 5395, 9998}) {
        tDelayLine line;
        line.setLength(d, 200);
        ASSERT_LT(line.readPosition(), line.length()) << d;
        EXPECT_EQ(LoopPeriod(line, 20000), d) << d;
    }
}

TEST(DelayLine, PeriodLongerThanTheBufferIsLimitedToIt) {
    tDelayLine line;
    line.setLength(25000.0, 200);
    EXPECT_EQ(line.length(), tDelayLine::kDefaultSize);
    EXPECT_LT(line.readPosition(), line.length());
    EXPECT_EQ(LoopPeriod(line, 20000), tDelayLine::kDefaultSize - 2);

    line.resize(300); // the flute's lines are resized; the length follows the buffer
    EXPECT_EQ(line.length(), 300);
    line.setLength(1000.0, 200);
    EXPECT_EQ(line.length(), 300);
    EXPECT_EQ(LoopPeriod(line, 1000), 298);
}

TEST(FracDelay, WholeDelaysAndShortLinesStayInside) {
    for (int d : {2, 3, 10, 441}) {
        tFracDelay line;
        line.setDelay(d);
        EXPECT_EQ(line.coefficient(), 0.0) << d;
        EXPECT_EQ(LoopPeriod(line, 2000), d) << d;
    }
    // Read position landing on the length after the short-delay correction wraps to 0.
    tFracDelay line;
    line.setDelay(10.0);
    line.write(0.0);
    line.write(0.0);
    line.setDelay(1.3);
    EXPECT_EQ(line.length(), 3);
    EXPECT_EQ(line.lag(), 2);
    const double f = 1.0 - 0.7 - 2.5 * 0.3 / (1.3 * 1.3) + 1.0;
    EXPECT_NEAR(line.coefficient(), (1.0 - f) / (1.0 + f), 1e-12);
}

TEST(SimpleDelay, ReadsHalfWayRoundThenAtTheSetDelay) {
    tSimpleDelay line(8.4);
    EXPECT_EQ(line.length(), 8);
    EXPECT_EQ(line.readPosition(), 4);
    line.setDelay(3); // the sample written two writes earlier comes back
    EXPECT_EQ(line.write(1.0), 0.0);
    EXPECT_EQ(line.write(0.0), 0.0);
    EXPECT_EQ(line.write(0.0), 1.0);
    EXPECT_EQ(line.output(), 1.0);
    line.clear();
    EXPECT_EQ(line.output(), 0.0);
    for (int d : {-20, 0, 1, 8, 9, 1000000}) {
        line.setDelay(d);
        EXPECT_GE(line.readPosition(), 0) << d;
        EXPECT_LT(line.readPosition(), line.length()) << d;
    }
}

namespace {

// Lag in samples of a line's output behind a sine of the given period written into it,
// from a least-squares fit of the output's phase once the line has settled; modulo the period.
template <class tLine> double SineLag(tLine& line, double period, int settle, int measured) {
    const double w = 2.0 * M_PI / period;
    double ss = 0.0, cc = 0.0, sc = 0.0, ys = 0.0, yc = 0.0;
    for (int n = 0; n < settle + measured; ++n) {
        const double sn = std::sin(w * n), cn = std::cos(w * n);
        line.write(sn);
        if (n < settle) continue;
        const double y = line.output();
        ss += sn * sn;
        cc += cn * cn;
        sc += sn * cn;
        ys += y * sn;
        yc += y * cn;
    }
    // y = a·sin + b·cos = R·sin(w·n + phase)
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    return -std::atan2(b, a) / w;
}

// x − y reduced to the period around 0.
double PhaseDifference(double x, double y, double period) {
    const double d = x - y;
    return d - std::round(d / period) * period;
}

} // namespace

TEST(DelayLine, EveryNoteIsTunedToItsPeriodAt44100) {
    // Written after the loop reads its output, a sample comes back one period later: at the
    // note's own frequency the line lags by the period minus one, its fraction from the
    // tuning table through the allpass.
    for (int note = 0; note < 128; ++note) {
        const double d = 44100.0 / (440.0 * std::pow(2.0, (note - 69) / 12.0));
        tDelayLine line;
        line.setLength(d, note);
        const double lag = SineLag(line, d, static_cast<int>(d) + 6000, 8000);
        EXPECT_NEAR(PhaseDifference(lag, d - 1.0, d), 0.0, 0.01) << note;
    }
    tDelayLine line; // at low frequencies the fraction itself shows
    line.setLength(100.2272727, 69);
    EXPECT_NEAR(SineLag(line, 20000.0, 6000, 20000), 99.227202, 1e-5);
}

TEST(FracDelay, LongDelaysFollowTheFraction) {
    for (double d : {20.25, 100.5, 1000.7, 44000.1}) {
        tFracDelay line;
        line.setDelay(d);
        const double lag = SineLag(line, 100000.0, static_cast<int>(d) + 6000, 100000);
        EXPECT_NEAR(lag, d - 1.0, 1.25 / (d * d) + 1e-4) << d;
    }
}

TEST(FracDelay, GlidingDelayKeepsEveryPositionInsideTheLine) {
    tFracDelay line;
    line.resize(3000);
    double d = 2500.0;
    for (int n = 0; n < 40000; ++n) {
        // Long falls, jumps and rises, down to a fraction of a sample and past the buffer.
        d = n % 7000 == 0 ? 5000.0 - d : d * (n < 20000 ? 0.9995 : 1.0007);
        line.setDelay(d);
        line.write(n % 50 == 0 ? 1.0 : 0.0);
        ASSERT_GE(line.length(), 1);
        ASSERT_LE(line.length(), 3000);
        ASSERT_LT(line.lag(), line.length()) << n;
        ASSERT_LT(line.readPosition(), line.size()) << n;
        ASSERT_LT(line.writePosition(), line.size()) << n;
        ASSERT_TRUE(std::abs(line.output()) < 10.0) << n;
        ASSERT_GE(line.coefficient(), 0.0);
        ASSERT_LE(line.coefficient(), 1.0);
    }
    for (double tiny : {0.0, 0.02, 0.5, 1.0, -3.0, std::nan("")}) {
        line.setDelay(tiny);
        EXPECT_TRUE(std::isfinite(line.coefficient())) << tiny;
        for (int n = 0; n < 100; ++n) line.write(n % 2 ? 1.0 : -1.0);
        EXPECT_TRUE(std::abs(line.output()) <= 2.0) << tiny;
    }
}
