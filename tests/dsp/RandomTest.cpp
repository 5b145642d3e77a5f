#include "dsp/Random.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int kDraws = 3000000;

// Index of the first of n draws where the library's rand() and the generator differ, or -1.
int FirstDifference(tRandom& mine, int n) {
    for (int i = 0; i < n; ++i)
        if (std::rand() != mine.next()) return i;
    return -1;
}

} // namespace

TEST(Random, MatchesTheUnseededLibraryFromProcessStart) {
    // The check runs in a freshly started copy of this program, where nothing has drawn from
    // the library's generator yet, and compares against the calling thread's own generator.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            for (int i = 0; i < kDraws; ++i) {
                if (std::rand() != nextRand()) {
                    std::fprintf(stderr, "first difference at draw %d\n", i);
                    std::_Exit(1);
                }
            }
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Random, MatchesTheLibraryForOtherSeedsToo) {
    for (unsigned seed : {1u, 0u, 2u, 12345u, 0x7fffffffu, 0xdeadbeefu}) {
        std::srand(seed);
        tRandom mine;
        mine.seed(seed);
        EXPECT_EQ(FirstDifference(mine, seed == 1u ? kDraws : 100000), -1) << seed;
    }
}

TEST(Random, EveryThreadDrawsTheUnseededSequenceFromItsStart) {
    std::vector<int> expected;
    tRandom reference;
    for (int i = 0; i < 100000; ++i) expected.push_back(reference.next());

    nextRand(); // this thread's draws do not reach the others
    std::vector<int> drawn[2];
    std::thread first([&] {
        for (int i = 0; i < 100000; ++i) drawn[0].push_back(nextRand());
    });
    std::thread second([&] {
        for (int i = 0; i < 100000; ++i) drawn[1].push_back(nextRand());
    });
    first.join();
    second.join();
    EXPECT_EQ(drawn[0], expected);
    EXPECT_EQ(drawn[1], expected);

    std::thread noise([&] {
        EXPECT_EQ(nextRandom(), (expected[0] - 1073741823) * 9.313225754828403e-10);
        EXPECT_EQ(nextRandom(), (expected[1] - 1073741823) * 9.313225754828403e-10);
    });
    noise.join();
}
