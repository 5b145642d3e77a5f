// Helpers shared by the string synthesizer tests: rendering and measuring.
#pragma once

#include "string/StringModule.h"

#include <cmath>
#include <vector>

namespace stringtest {

// Renders blocks of `frames` until n frames are collected; frames x channels values.
inline std::vector<double> RenderFrames(tStringModule& module, int n, int frames = 128) {
    const int channels = module.Engine().Channels();
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(n) * channels);
    for (int done = 0; done < n; done += frames) {
        module.Render(frames);
        const double* block = module.Output();
        const bool active = module.IsActive();
        for (int i = 0; i < frames * channels; ++i) out.push_back(active ? block[i] : 0.0);
    }
    out.resize(static_cast<std::size_t>(n) * channels);
    return out;
}

inline double Rms(const std::vector<double>& x, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

// Normalised autocorrelation of x[from ..] at lag, over n samples.
inline double Correlation(const std::vector<double>& x, std::size_t from, std::size_t n,
                          double lag) {
    const std::size_t l = static_cast<std::size_t>(lag);
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (std::size_t i = from; i < from + n; ++i) {
        xy += x[i] * x[i + l];
        xx += x[i] * x[i];
        yy += x[i + l] * x[i + l];
    }
    return xy / std::sqrt(xx * yy);
}

// The period of x in samples: the strongest autocorrelation peak between minLag and maxLag,
// refined at the tenth multiple of that lag with a parabola through the three best lags.
inline double EstimatePeriod(const std::vector<double>& x, std::size_t from, std::size_t n,
                             int minLag, int maxLag) {
    int best = minLag;
    double bestValue = -2.0;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        const double r = Correlation(x, from, n, lag);
        if (r > bestValue) {
            bestValue = r;
            best = lag;
        }
    }
    const int multiple = 10;
    int centre = best * multiple;
    double peak = -2.0;
    for (int lag = centre - multiple; lag <= centre + multiple; ++lag) {
        const double r = Correlation(x, from, n, lag);
        if (r > peak) {
            peak = r;
            centre = lag;
        }
    }
    const double a = Correlation(x, from, n, centre - 1);
    const double b = Correlation(x, from, n, centre);
    const double c = Correlation(x, from, n, centre + 1);
    const double shift = 0.5 * (a - c) / (a - 2.0 * b + c);
    return (centre + shift) / multiple;
}

inline double Cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

} // namespace stringtest
