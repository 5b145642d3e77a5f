// Building blocks of the loops at their extremes: a fractional delay that grows while it
// runs, clearing it after it has run a long way round its ring, and subnormal values.
#include "dsp/FlushDenormals.h"
#include "dsp/FracDelay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

TEST(FracDelayBounds, GrowingDelayReadsOnlyWrittenHistory) {
    // Constant input: whatever the delay does, every read must be a sample really written,
    // so once the allpass has settled the output is exactly the input.
    tFracDelay line;
    line.setDelay(10.0);
    for (int n = 0; n < 200; ++n) line.write(1.0);
    ASSERT_EQ(line.output(), 1.0);
    double d = 10.0;
    for (int n = 0; n < 2000; ++n) {
        d = std::min(74.0, d + 0.25); // glides 10 -> 74 samples
        line.setDelay(d);
        line.write(1.0);
        ASSERT_NEAR(line.output(), 1.0, 1e-12) << "sample " << n << ", delay " << d;
    }
    // A sudden jump lengthens the line by 60 samples at once, as a pitch-bend jump does.
    line.setDelay(7.0);
    for (int n = 0; n < 100; ++n) line.write(1.0);
    line.setDelay(67.0);
    for (int n = 0; n < 100; ++n) {
        line.write(1.0);
        ASSERT_NEAR(line.output(), 1.0, 1e-12) << n;
    }
}

TEST(FracDelayBounds, ClearZeroesEverythingWrittenAroundTheRing) {
    tFracDelay line;
    line.resize(500);
    line.setDelay(40.0);
    for (int n = 0; n < 1234; ++n) line.write(7.0); // more than twice round the ring
    line.clear(0.0);
    for (double d : {5.0, 100.0, 497.0}) {
        line.setDelay(d);
        for (int n = 0; n < 600; ++n) {
            line.write(0.0);
            ASSERT_EQ(line.output(), 0.0) << d << " " << n;
        }
    }
    // Part of the ring only: what was written is gone, also across the ring's end.
    for (int n = 0; n < 130; ++n) line.write(3.0);
    line.clear(0.0);
    line.setDelay(497.0);
    for (int n = 0; n < 600; ++n) {
        line.write(0.0);
        ASSERT_EQ(line.output(), 0.0) << n;
    }
}

TEST(FlushDenormals, SubnormalResultsAreZeroWhileInScope) {
    // The rendering threads run their loops in this scope; x86-64 and ARM both support it.
    ASSERT_TRUE(tFlushDenormals::kSupported);
    volatile double smallest = 2.2250738585072014e-308; // the smallest normal double
    {
        const tFlushDenormals flush;
        const double half = smallest * 0.5;
        EXPECT_EQ(half, 0.0);
    }
    const double half = smallest * 0.5;
    EXPECT_GT(half, 0.0);
}
