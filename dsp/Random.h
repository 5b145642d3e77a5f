// The random numbers every noise source draws.
//
// tRandom reproduces the C library's rand() as it runs without a seed: the additive feedback
// generator of degree 31 and separation 3, initialised from seed 1 by the Park-Miller
// sequence and stepped 310 times, each output dropping the lowest bit. The noise sources draw
// from the calling thread's generator, so every thread draws that sequence from its start
// without a lock; a renderer on a single thread draws exactly the values the library's rand()
// would give it.
//
// A rack owns a generator of its own and makes it the thread's while it works with its modules
// (tRandomScope): racks that share a thread, such as two plugin instances a host runs on one
// thread, never take each other's numbers, and a rack whose modules are built and rendered
// inside its scope draws the same sequence wherever it runs.
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

// Which generator's state threadRandom holds now: null for the thread's own.
inline constinit thread_local const tRandom* threadRandomOwner = nullptr;

// For its lifetime, the calling thread's noise sources draw from own: its state moves into
// threadRandom, and back when the scope ends, where the thread's previous state is restored.
// A scope of the generator already in place changes nothing, so scopes nest.
class tRandomScope {
public:
    explicit tRandomScope(tRandom& own)
        : mOwn(&own), mPrevious(threadRandomOwner), mSaved(threadRandom) {
        if (mPrevious == mOwn) return;
        threadRandom = own;
        threadRandomOwner = mOwn;
    }
    ~tRandomScope() {
        if (mPrevious == mOwn) return;
        *mOwn = threadRandom;
        threadRandom = mSaved;
        threadRandomOwner = mPrevious;
    }
    tRandomScope(const tRandomScope&) = delete;
    tRandomScope& operator=(const tRandomScope&) = delete;

private:
    tRandom* mOwn;
    const tRandom* mPrevious;
    tRandom mSaved; // the state threadRandom held before
};

// rand(): 0 .. 2^31 − 1.
inline int nextRand() {
    return threadRandom.next();
}

// A noise value r = (rand() − 1073741823) × 9.313225754828403e-10 (that is 1/1073741823):
// −1 .. about 1.
inline double nextRandom() {
    return (nextRand() - 1073741823) * 9.313225754828403e-10;
}
