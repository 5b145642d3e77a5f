// The fractional delay line at the extremes of its use: a delay that grows while the line
// runs, and clearing after it has run a long way round its ring.
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
    line.setDelay(497.0);
    for (int n = 0; n < 600; ++n) {
        line.write(0.0);
        ASSERT_EQ(line.output(), 0.0) << n;
    }
}
