// The random numbers every noise source draws.
//
// tRandom reproduces the C library's rand() as it runs without a seed: the additive feedback
// generator of degree 31 and separation 3, initialised from seed 1 by the Park-Miller
// sequence and stepped 310 times, each output dropping the lowest bit. Its state is per
// thread, so every thread draws that sequence from its start without a lock; a renderer on a
// single thread draws exactly the values the library's rand() would give it.
#pragma once

#include <cstdint>

class tRandom {
public:
    static constexpr int kDegree = 31;
    static constexpr int kSeparation = 3;

    constexpr tRandom() { seed(1); }

    // The next value, 0 .. 2^31 − 1.
    constexpr int next() {
        const std::uint32_t v = mState[mFront] += mState[mRear];
        mFront = mFront + 1 < kDegree ? mFront + 1 : 0;
        mRear = mRear + 1 < kDegree ? mRear + 1 : 0;
        return static_cast<int>(v >> 1);
    }

    constexpr void seed(std::uint32_t seed) {
        if (seed == 0) seed = 1;
        mState[0] = seed;
        std::int32_t word = static_cast<std::int32_t>(seed);
        for (int i = 1; i < kDegree; ++i) {
            // 16807 × word mod (2^31 − 1) without overflowing 31 bits.
            const std::int32_t hi = word / 127773;
            const std::int32_t lo = word % 127773;
            word = 16807 * lo - 2836 * hi;
            if (word < 0) word += 2147483647;
            mState[i] = static_cast<std::uint32_t>(word);
        }
        mFront = kSeparation;
        mRear = 0;
        for (int i = 0; i < 10 * kDegree; ++i) next();
    }

private:
    std::uint32_t mState[kDegree] = {};
    int mFront = kSeparation;
    int mRear = 0;
};

// The calling thread's generator, in its unseeded starting state until first used.
inline constinit thread_local tRandom threadRandom;

// rand(): 0 .. 2^31 − 1.
inline int nextRand() {
    return threadRandom.next();
}

// A noise value r = (rand() − 1073741823) × 9.313225754828403e-10 (that is 1/1073741823):
// −1 .. about 1.
inline double nextRandom() {
    return (nextRand() - 1073741823) * 9.313225754828403e-10;
}
