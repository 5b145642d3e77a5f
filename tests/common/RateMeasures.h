// Rendering a built-in preset's held note at a given sample rate, and the measures that tell
// whether it sounds the same at another rate: fundamental, 40 dB decay time, spectral
// centroid and level. Shared by the string, flute and effects tests and the rate report.
#pragma once

#include "catalog/Presets.h"
#include "core/Rack.h"
#include "core/Slot.h"
#include "dsp/Random.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace ratetest {

constexpr double kHoldSeconds = 1.5;
constexpr double kTailSeconds = 3.0;

// The rack, prepared at rate and switched on, plays key with velocity 100 for hold seconds,
// then tail seconds are rendered: the rack's mix in 128-frame blocks (one shorter block ends
// exactly at the note-off).
inline std::vector<double> PlayHeldNote(tRack& rack, int key, int rate, double hold, double tail) {
    rack.SetRendering(true);
    const int block = 128;
    const long holdFrames = std::lround(hold * rate);
    const long total = std::lround((hold + tail) * rate);
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(total + block));
    rack.NoteOn(0, key, 100);
    bool released = false;
    for (long done = 0; done < total;) {
        if (!released && done >= holdFrames) {
            rack.NoteOff(0, key);
            released = true;
        }
        // The block before the note-off ends where the note is released, at every rate.
        const int frames =
            static_cast<int>(released ? block : std::min<long>(block, holdFrames - done));
        const double* mix = rack.Render(frames);
        out.insert(out.end(), mix, mix + frames);
        done += frames;
    }
    out.resize(static_cast<std::size_t>(total));
    return out;
}

// The preset (both modules switched on, mono) plays key for kHoldSeconds, then kTailSeconds
// of tail (PlayHeldNote). With instrumentOnly the instrument is unwired from its effects unit,
// which stays off. The modules draw their noise from the rack's generator from its first
// value on, as the renderer's do, so that renders at two rates draw the same noise.
inline std::vector<double> RenderPresetNote(int preset, int key, int rate,
                                            double hold = kHoldSeconds, double tail = kTailSeconds,
                                            bool instrumentOnly = false) {
    tRack rack;
    const tRandomScope noise(rack.Random());
    rack.SetSampleRate(rate);
    rack.SetChannels(1);
    AddPreset(rack, preset);
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots())
            if (!instrumentOnly || !slot->AcceptsInput()) slot->SwitchOn();
    }
    if (instrumentOnly) {
        for (tSlot* slot : rack.Slots())
            while (!slot->Outputs().empty()) rack.Connect(slot, slot->Outputs().front());
    }
    return PlayHeldNote(rack, key, rate, hold, tail);
}

inline double Cents(double f, double reference) {
    return 1200.0 * std::log2(f / reference);
}

// Normalised autocorrelation of x[from, from + n) with itself at an integer lag.
inline double Correlation(const std::vector<double>& x, std::size_t from, std::size_t n,
                          std::size_t lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (std::size_t i = from; i < from + n && i + lag < x.size(); ++i) {
        xy += x[i] * x[i + lag];
        xx += x[i] * x[i];
        yy += x[i + lag] * x[i + lag];
    }
    return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// The lag of the strongest correlation in [lo, hi], refined by a parabola through its
// neighbours.
inline double PeakLag(const std::vector<double>& x, std::size_t from, std::size_t n, long lo,
                      long hi) {
    lo = std::max(lo, 2L);
    long best = lo;
    double bestValue = -2.0;
    for (long lag = lo; lag <= hi; ++lag) {
        const double r = Correlation(x, from, n, static_cast<std::size_t>(lag));
        if (r > bestValue) {
            bestValue = r;
            best = lag;
        }
    }
    const double a = Correlation(x, from, n, static_cast<std::size_t>(best - 1));
    const double c = Correlation(x, from, n, static_cast<std::size_t>(best + 1));
    const double curve = a - 2.0 * bestValue + c;
    return curve < 0.0 ? best + 0.5 * (a - c) / curve : best;
}

// The fundamental (Hz) of the sound from second start on, expected near expectedHz: the period
// found by autocorrelation near rate / expectedHz, then refined at the multiple of the period
// nearest 20 ms, so that the error is a small fraction of a cent.
inline double Fundamental(const std::vector<double>& x, int rate, double start, double expectedHz) {
    const std::size_t from = static_cast<std::size_t>(start * rate);
    const std::size_t n = static_cast<std::size_t>(0.2 * rate);
    const double expected = rate / expectedHz;
    const double period =
        PeakLag(x, from, n, std::lround(expected * 0.85), std::lround(expected * 1.18));
    const double multiple = std::max(1.0, std::round(0.02 * rate / period));
    const long centre = std::lround(period * multiple);
    const long spread = std::max(2L, std::lround(multiple * 0.02 * period));
    return rate * multiple / PeakLag(x, from, n, centre - spread, centre + spread);
}

// The level (dB of RMS) in windows of 5 ms every millisecond (every whole number of samples
// nearest below it).
inline std::vector<double> Envelope(const std::vector<double>& x, int rate) {
    const std::size_t window = static_cast<std::size_t>(0.005 * rate);
    const std::size_t hop = static_cast<std::size_t>(0.001 * rate);
    std::vector<double> db;
    for (std::size_t at = 0; at + window <= x.size(); at += hop) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + window; ++i) sum += x[i] * x[i];
        db.push_back(10.0 * std::log10(sum / window + 1e-30));
    }
    return db;
}

// Seconds from the loudest moment until the level first lies 40 dB below the loudest level
// (interpolated between the milliseconds of the envelope); infinity when it never does. The
// loudest moment is the first at which the level comes within 1 dB of its maximum: a note
// that swells back to about its first peak later is still timed from its attack, so that a
// hair's difference between two peaks cannot move the start by seconds.
inline double DecayTime40dB(const std::vector<double>& x, int rate) {
    const std::vector<double> db = Envelope(x, rate);
    if (db.empty()) return std::numeric_limits<double>::infinity();
    const double loudest = *std::max_element(db.begin(), db.end());
    std::size_t peak = 0;
    while (db[peak] < loudest - 1.0) ++peak;
    const double target = loudest - 40.0;
    const double hop = std::floor(0.001 * rate) / rate; // the envelope's step in seconds
    for (std::size_t i = peak + 1; i < db.size(); ++i) {
        if (db[i] <= target) {
            const double fraction = (db[i - 1] - target) / (db[i - 1] - db[i]);
            return (static_cast<double>(i - 1 - peak) + fraction) * hop;
        }
    }
    return std::numeric_limits<double>::infinity();
}

inline void Fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * M_PI / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// The magnitude-weighted mean frequency (Hz) of x[0, seconds), counting only frequencies up to
// limitHz, so that renders at different rates are compared over the same band.
inline double SpectralCentroid(const std::vector<double>& x, int rate, double seconds = 0.5,
                               double limitHz = 20000.0) {
    const std::size_t n = std::min(x.size(), static_cast<std::size_t>(seconds * rate));
    std::size_t size = 1;
    while (size < n) size <<= 1;
    std::vector<std::complex<double>> spectrum(size);
    for (std::size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / static_cast<double>(n));
        spectrum[i] = x[i] * hann;
    }
    Fft(spectrum);
    double weighted = 0.0, total = 0.0;
    for (std::size_t k = 1; k < size / 2; ++k) {
        const double hz = static_cast<double>(k) * rate / static_cast<double>(size);
        if (hz > limitHz) break;
        const double magnitude = std::abs(spectrum[k]);
        weighted += hz * magnitude;
        total += magnitude;
    }
    return total > 0.0 ? weighted / total : 0.0;
}

inline double RmsDb(const std::vector<double>& x) {
    double sum = 0.0;
    for (const double v : x) sum += v * v;
    return 10.0 * std::log10(sum / static_cast<double>(std::max<std::size_t>(x.size(), 1)) + 1e-30);
}

// The four measures of one rendered note.
struct tNoteMeasures {
    double fundamental = 0.0; // Hz, measured 0.3 s into the note
    double decay = 0.0;       // s to fall 40 dB from the loudest moment
    double centroid = 0.0;    // Hz, first 0.5 s
    double rms = 0.0;         // dB, whole render
};

inline tNoteMeasures Measure(const std::vector<double>& x, int rate, double expectedHz) {
    return {Fundamental(x, rate, 0.3, expectedHz), DecayTime40dB(x, rate),
            SpectralCentroid(x, rate), RmsDb(x)};
}

} // namespace ratetest
