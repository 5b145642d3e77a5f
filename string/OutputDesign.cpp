#include "string/OutputDesign.h"

#include "dsp/FilterDesign.h"

#include <cmath>

namespace {

// Two doubles side by side; each operation rounds each element as the scalar one would.
typedef double tPair __attribute__((vector_size(16)));

void TakeSecond(tOutputDesign& d, int i, const tSecondOrderSection& section) {
    d.a[i] = section.a();
    d.b[i] = section.b();
    d.r[i] = section.resonance();
    d.rootR[i] = section.rootResonance();
}

// tFirstOrderSection::designLowPass for two pre-warping constants.
void FirstOrder(double pole, tPair k, tPair& b0, tPair& a1) {
    const tPair g = pole * k;
    b0 = 1.0 / (1.0 + g);
    a1 = (1.0 - g) / (1.0 + g);
}

// tSecondOrderSection::designLowPass for two pre-warping constants.
void SecondOrder(const tOutputDesign& d, int i, tPair k, tPair& gain, tPair& c1, tPair& c2) {
    const double r = d.r[i];
    const tPair kr = r > 1.0 ? k / d.rootR[i] : k;
    const tPair a = d.a[i] * kr;
    const tPair b = r * d.b[i] * (kr * kr);
    const tPair den = 1.0 + a + b;
    gain = 1.0 / den;
    c1 = -2.0 * (1.0 - b) / den;
    c2 = -(1.0 - a + b) / den;
}

} // namespace

tOutputDesign tOutputDesign::of(const tLowPass1& filter) {
    tOutputDesign d;
    d.order = 1;
    d.rate = filter.sampleRate();
    d.g = filter.first().g();
    return d;
}

tOutputDesign tOutputDesign::of(const tLowPass2& filter) {
    tOutputDesign d;
    d.order = 2;
    d.rate = filter.sampleRate();
    TakeSecond(d, 0, filter.second());
    return d;
}

tOutputDesign tOutputDesign::of(const tLowPass3& filter) {
    tOutputDesign d;
    d.order = 3;
    d.rate = filter.sampleRate();
    d.g = filter.first().g();
    TakeSecond(d, 0, filter.second());
    return d;
}

tOutputDesign tOutputDesign::of(const tLowPass4& filter) {
    tOutputDesign d;
    d.order = 4;
    d.rate = filter.sampleRate();
    TakeSecond(d, 0, filter.first());
    TakeSecond(d, 1, filter.second());
    return d;
}

namespace {

// Cutoffs designed at a time: the stages below run over all of them in turn.
constexpr int kRow = 64;

// clampLowPassFrequency() for two cutoffs.
tPair Clamp(const double* cutoffs, int i, int j, int rate) {
    return tPair{clampLowPassFrequency(cutoffs[i], rate), clampLowPassFrequency(cutoffs[j], rate)};
}

// The row in stages: the arguments of the tangents, the tangents, then the sections. Within a
// stage one cutoff's operations do not wait on another's, so that the divisions and tangents of
// neighbouring cutoffs overlap instead of each cutoff's long chain running alone.
template <int kOrder>
void DesignRow(const tOutputDesign& d, const double* cutoffs, int n, tOutputCoefficients* out) {
    alignas(16) double x[kRow];
    // prewarp(): K = 1 / tan(π f / rate), π taken as 3.141592654, of the clamped cutoff.
    for (int i = 0; i < n; i += 2) {
        const int j = i + 1 < n ? i + 1 : i;
        const tPair v = 3.141592654 * Clamp(cutoffs, i, j, d.rate) / static_cast<double>(d.rate);
        x[i] = v[0];
        x[j] = v[1];
    }
    // An envelope held at the ceiling gives the same argument again: the same tangent.
    alignas(16) double t[kRow];
    for (int i = 0; i < n; ++i) t[i] = i > 0 && x[i] == x[i - 1] ? t[i - 1] : std::tan(x[i]);
    for (int i = 0; i < n; i += 2) {
        const int j = i + 1 < n ? i + 1 : i;
        const tPair k = 1.0 / tPair{t[i], t[j]};
        tPair c[6];
        if constexpr (kOrder == 1) {
            FirstOrder(d.g, k, c[0], c[1]);
        } else if constexpr (kOrder == 2) {
            SecondOrder(d, 0, k, c[0], c[1], c[2]);
        } else if constexpr (kOrder == 3) {
            FirstOrder(d.g, k, c[0], c[1]);
            SecondOrder(d, 0, k, c[2], c[3], c[4]);
        } else {
            SecondOrder(d, 0, k, c[0], c[1], c[2]);
            SecondOrder(d, 1, k, c[3], c[4], c[5]);
        }
        constexpr int kCount = kOrder == 1 ? 2 : kOrder == 2 ? 3 : kOrder == 3 ? 5 : 6;
        for (int m = 0; m < kCount; ++m) {
            out[i].k[m] = c[m][0];
            out[j].k[m] = c[m][1];
        }
    }
}

template <int kOrder>
void DesignPairs(const tOutputDesign& d, const double* cutoffs, int n, tOutputCoefficients* out) {
    for (int i = 0; i < n; i += kRow) {
        DesignRow<kOrder>(d, cutoffs + i, n - i < kRow ? n - i : kRow, out + i);
    }
}

} // namespace

void tOutputDesign::design(const double* cutoffs, int n, tOutputCoefficients* out) const {
    switch (order) {
    case 1:
        DesignPairs<1>(*this, cutoffs, n, out);
        break;
    case 2:
        DesignPairs<2>(*this, cutoffs, n, out);
        break;
    case 3:
        DesignPairs<3>(*this, cutoffs, n, out);
        break;
    case 4:
        DesignPairs<4>(*this, cutoffs, n, out);
        break;
    default:
        break;
    }
}
