// Two doubles computed side by side, as the left and right channel of a frame or two
// independent filters of one bank. Every operation acts on each lane alone and rounds as the
// same scalar operation would, so a loop written on pairs gives exactly the bits of the scalar
// loop it replaces; the compiler keeps a pair in one vector register where the target has them.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using tLanePair = double __attribute__((vector_size(16)));

inline tLanePair LanePair(double first, double second) {
    return tLanePair{first, second};
}

inline tLanePair Broadcast(double value) {
    return tLanePair{value, value};
}

// The lanes exchanged: the second channel's value beside the first's.
inline tLanePair Swapped(tLanePair pair) {
    return tLanePair{pair[1], pair[0]};
}

// The pair of *first and *second, and its lanes stored back there.
inline tLanePair LoadLanes(const double* first, const double* second) {
#if defined(__SSE2__)
    return _mm_loadh_pd(_mm_load_sd(first), second);
#else
    return tLanePair{*first, *second};
#endif
}

inline void StoreLanes(double* first, double* second, tLanePair pair) {
#if defined(__SSE2__)
    _mm_storel_pd(first, pair);
    _mm_storeh_pd(second, pair);
#else
    *first = pair[0];
    *second = pair[1];
#endif
}

// Two consecutive doubles (no alignment needed).
inline tLanePair LoadPair(const double* at) {
    tLanePair pair;
    __builtin_memcpy(&pair, at, sizeof pair);
    return pair;
}

inline void StorePair(double* at, tLanePair pair) {
    __builtin_memcpy(at, &pair, sizeof pair);
}

// Lane-wise comparison results (all bits set where true), and a pair's bits in that type.
using tLaneMask = decltype(tLanePair{} < tLanePair{});

inline tLaneMask Bits(tLanePair pair) {
    return (tLaneMask)pair;
}

// The lanes' magnitudes (the sign bits cleared).
inline tLanePair Magnitude(tLanePair pair) {
    const tLaneMask noSign = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return (tLanePair)(Bits(pair) & noSign);
}

// True when any bit of either lane is set.
inline bool AnyBit(tLaneMask mask) {
    return (mask[0] | mask[1]) != 0;
}

// Each lane's square root, rounded as std::sqrt rounds it.
inline tLanePair SquareRoot(tLanePair pair) {
#if defined(__SSE2__)
    return _mm_sqrt_pd(pair);
#else
    return tLanePair{__builtin_sqrt(pair[0]), __builtin_sqrt(pair[1])};
#endif
}

// Lane by lane: a where the mask is set, b where it is not.
inline tLanePair Select(tLaneMask mask, tLanePair a, tLanePair b) {
    return (tLanePair)((mask & Bits(a)) | (~mask & Bits(b)));
}
