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
    EXPECT_EQ(line.readPosition(), 0);
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
