// The block forms of the held noise, the random ramp and the sine table give exactly the values
// of as many single steps, whatever the block lengths.
#include "dsp/NoiseSource.h"
#include "dsp/Random.h"
#include "dsp/SineTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr int kLengths[] = {1, 3, 4, 7, 64, 2, 5, 130};

// The values of `total` single steps against those of blocks of the lengths above in turn,
// each side from the generator's same state.
void ExpectSameSteps(const std::function<double()>& single,
                     const std::function<void(double*, int)>& block, int total) {
    threadRandom.seed(9);
    std::vector<double> one(total);
    for (double& x : one) x = single();
    threadRandom.seed(9);
    std::vector<double> blocks(total);
    for (int done = 0, i = 0; done < total; ++i) {
        const int n = std::min(kLengths[i % std::size(kLengths)], total - done);
        block(blocks.data() + done, n);
        done += n;
    }
    for (int i = 0; i < total; ++i) ASSERT_EQ(one[i], blocks[i]) << "value " << i;
}

} // namespace

TEST(BlockForms, NoiseRampAndSineBlocksGiveExactlyTheirSingleSteps) {
    for (double hold : {0.0, 1.0, 2.0, 3.0, 5.0}) {
        SCOPED_TRACE(hold);
        tWhiteNoise a, b;
        for (tWhiteNoise* noise : {&a, &b}) {
            threadRandom.seed(7); // the same first value
            noise->setup(hold, 5.0);
        }
        ExpectSameSteps([&] { return a.next(); }, [&](double* out, int n) { b.nextBlock(out, n); },
                        1000);
    }
    // A ramp of 20 steps between targets: the blocks stop where it draws.
    tRandomRamp a, b;
    for (tRandomRamp* ramp : {&a, &b}) {
        threadRandom.seed(7);
        ramp->setup(100, 5.0, 1.0);
    }
    ExpectSameSteps([&] { return a.next(); },
                    [&](double* out, int n) {
                        while (n > 0) {
                            const int run = std::min(n, b.rampLeft());
                            if (run == 0) {
                                *out++ = b.next();
                                --n;
                                continue;
                            }
                            b.ramp(out, run);
                            out += run;
                            n -= run;
                        }
                    },
                    1000);
    // A sine that turns backwards rounds its phase down below zero.
    for (double hz : {2.0, 1234.5, -3.0}) {
        SCOPED_TRACE(hz);
        tSineTable s1, s2;
        s1.setFrequency(44100, hz);
        s2.setFrequency(44100, hz);
        ExpectSameSteps([&] { return s1.next(); },
                        [&](double* out, int n) { s2.nextBlock(out, n); }, 5000);
    }
}
