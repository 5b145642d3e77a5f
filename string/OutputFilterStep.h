// One sample of the string voice's output low pass (order 1 to 4) on coefficients and state
// held as plain values, so that a loop over a run of samples keeps both in registers. The
// recursions are those of the filter family's sections (dsp/FilterSections.h), operation for
// operation: the voice lets the filters design their coefficients and runs them here.
//
// Coefficients k: order 1 b0, a1; order 2 gain, c1, c2; order 3 b0, a1, then gain, c1, c2;
// order 4 gain, c1, c2 of each section. State s: order 1 x1, y1; order 2 w1, w2; order 3 x1,
// y1, w1, w2; order 4 w1, w2 of each section (s0 .. s3). The value type is a double, or a
// vector of doubles for voices side by side (each element rounds as the double would).
#pragma once

namespace outputfilter {

// First-order low pass: y = b0·(x + x1) − a1·y1.
template <class T> inline T firstOrder(T b0, T a1, T& x1, T& y1, T x) {
    const T y = b0 * (x + x1) - a1 * y1;
    x1 = x;
    y1 = y;
    return y;
}

// Second-order low pass, direct form II: w = x + c1·w1 + c2·w2, y = gain·(w + 2·w1 + w2).
template <class T> inline T secondOrder(T gain, T c1, T c2, T& w1, T& w2, T x) {
    const T w = x + c1 * w1 + c2 * w2;
    const T y = gain * (w + 2.0 * w1 + w2);
    w2 = w1;
    w1 = w;
    return y;
}

template <int kOrder, class T> inline T step(const T* k, T& s0, T& s1, T& s2, T& s3, T x) {
    if constexpr (kOrder == 1) {
        return firstOrder(k[0], k[1], s0, s1, x);
    } else if constexpr (kOrder == 2) {
        return secondOrder(k[0], k[1], k[2], s0, s1, x);
    } else if constexpr (kOrder == 3) {
        return secondOrder(k[2], k[3], k[4], s2, s3, firstOrder(k[0], k[1], s0, s1, x));
    } else {
        return secondOrder(k[3], k[4], k[5], s2, s3, secondOrder(k[0], k[1], k[2], s0, s1, x));
    }
}

} // namespace outputfilter
