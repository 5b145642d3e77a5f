// Driving an effects engine at a given sample rate with signals that are the same sound at
// every rate (sums of sinusoids fixed in hertz and seconds), and the measures that compare a
// unit's output across rates: echo time, ringing pitch, and the note measures of
// common/RateMeasures.h. Shared by the effects tests and the rate report.
#pragma once

#include "common/RateMeasures.h"
#include "effects/Effects.h"
#include "effects/EffectsPatch.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace effectsrate {

// A sum of partials, each a frequency (Hz), an amplitude and a phase.
struct tPartial {
    double hz;
    double amplitude;
    double phase;
};

// A harmonic tone on f0 (partials up to 8 kHz, amplitudes 1/k) or a noise of 160 partials
// spread from 60 Hz to 12 kHz with fixed pseudo-random frequencies and phases.
inline std::vector<tPartial> Harmonic(double f0, double level = 0.3) {
    std::vector<tPartial> partials;
    for (int k = 1; k * f0 <= 8000.0; ++k) partials.push_back({k * f0, level / k, 0.37 * k * k});
    return partials;
}

inline std::vector<tPartial> Noise(double level = 0.3) {
    const int count = 160;
    std::vector<tPartial> partials;
    std::uint64_t state = 0x2545f4914f6cdd1dULL;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / static_cast<double>(1ULL << 53);
    };
    for (int k = 0; k < count; ++k) {
        const double hz = 60.0 * std::pow(200.0, next());
        partials.push_back({hz, level * 0.11, 6.283185307179586 * next()});
    }
    return partials;
}

// The partials sampled at rate for the given seconds, shaped by an envelope of time that is
// not zero over at most one stretch.
inline std::vector<double> Sound(const std::vector<tPartial>& partials, int rate, double seconds,
                                 const std::function<double(double)>& envelope) {
    const std::size_t n = static_cast<std::size_t>(std::lround(seconds * rate));
    std::vector<double> x(n, 0.0);
    // The envelope is not zero over one stretch of time: from its first sample there, each
    // partial turns as a unit vector (cos, sin) by its step per sample until it ends.
    std::size_t i = 0;
    while (i < n && envelope(static_cast<double>(i) / rate) == 0.0) ++i;
    std::vector<double> c, s, stepC, stepS, amplitude;
    for (const tPartial& p : partials) {
        const double w = 6.283185307179586 * p.hz / rate;
        c.push_back(std::cos(p.phase + w * static_cast<double>(i)));
        s.push_back(std::sin(p.phase + w * static_cast<double>(i)));
        stepC.push_back(std::cos(w));
        stepS.push_back(std::sin(w));
        amplitude.push_back(p.amplitude);
    }
    const std::size_t count = partials.size();
    for (; i < n; ++i) {
        const double e = envelope(static_cast<double>(i) / rate);
        if (e == 0.0) break;
        double sum = 0.0;
        for (std::size_t k = 0; k < count; ++k) {
            sum += amplitude[k] * s[k];
            const double turned = c[k] * stepC[k] - s[k] * stepS[k];
            s[k] = s[k] * stepC[k] + c[k] * stepS[k];
            c[k] = turned;
        }
        x[i] = e * sum;
    }
    return x;
}

// A note: instant attack, decaying with time constant tau while held for hold seconds, a
// 10 ms release, then silence up to seconds.
inline std::vector<double> Note(const std::vector<tPartial>& partials, int rate, double hold,
                                double seconds, double tau = 0.6) {
    return Sound(partials, rate, seconds, [=](double t) {
        const double level = std::exp(-t / tau);
        if (t < hold) return level;
        return t < hold + 0.01 ? level * (1.0 - (t - hold) / 0.01) : 0.0;
    });
}

// A click: a Hann-windowed burst of the partials lasting width seconds, at time at.
inline std::vector<double> Click(const std::vector<tPartial>& partials, int rate, double at,
                                 double width, double seconds) {
    return Sound(partials, rate, seconds, [=](double t) {
        const double u = (t - at) / width;
        return u < 0.0 || u > 1.0 ? 0.0 : 0.5 - 0.5 * std::cos(6.283185307179586 * u);
    });
}

// An engine at rate, mono, prepared and on, set up by a patch text and/or a function, past
// its first block.
struct tEngine {
    tEffects effects;
    tEngine(int rate, const std::string& text,
            const std::function<void(tEffectsControls&)>& setup = nullptr) {
        if (!text.empty()) {
            std::istringstream in(text);
            ReadEffectsPatch(effects, in);
        }
        if (setup) setup(effects.Controls());
        effects.SetChannels(1);
        effects.SetSampleRate(rate);
        effects.Prepare();
        effects.SwitchOn();
        // The first block takes the output volume: it is silent. It lasts as long as 128
        // frames at 44100 Hz, so that what follows starts at the same time at every rate.
        const int frames = static_cast<int>(std::lround(128 * rateScale(rate)));
        std::fill_n(effects.Buffer(), frames, 0.0);
        effects.Render(frames);
    }
    // The input through the engine in blocks of 128 frames.
    std::vector<double> Play(const std::vector<double>& input) {
        std::vector<double> out(input.size());
        for (std::size_t at = 0; at < input.size(); at += 128) {
            const int n = static_cast<int>(std::min<std::size_t>(128, input.size() - at));
            std::copy(input.begin() + at, input.begin() + at + n, effects.Buffer());
            effects.Render(n);
            std::copy(effects.Buffer(), effects.Buffer() + n, out.begin() + at);
        }
        return out;
    }
};

// The setup of a single unit: every unit off but the one that setup switches on, the output
// volume at its default.
inline std::function<void(tEffectsControls&)>
Alone(const std::function<void(tEffectsControls&)>& setup) {
    return [setup](tEffectsControls& c) {
        for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                             &c.chorus.on, &c.reverb.on, &c.delay.on})
            on->Set(0);
        setup(c);
    };
}

// Seconds from the start of y to the strongest repetition of x in y after skip seconds: the
// lag of the largest cross-correlation, refined by a parabola.
inline double EchoTime(const std::vector<double>& x, const std::vector<double>& y, int rate,
                       double skip, double longest) {
    const long from = std::lround(skip * rate);
    const long to = std::min<long>(std::lround(longest * rate), static_cast<long>(y.size()) - 1);
    std::size_t first = 0;
    std::size_t last = x.size();
    while (first < last && x[first] == 0.0) ++first;
    while (last > first && x[last - 1] == 0.0) --last;
    auto correlation = [&](long lag) {
        double sum = 0.0;
        for (std::size_t i = first; i < last && i + lag < y.size(); ++i) sum += x[i] * y[i + lag];
        return sum;
    };
    long best = from;
    double bestValue = -1e300;
    for (long lag = from; lag <= to; ++lag) {
        const double c = correlation(lag);
        if (c > bestValue) {
            bestValue = c;
            best = lag;
        }
    }
    const double a = correlation(best - 1);
    const double c = correlation(best + 1);
    const double curve = a - 2.0 * bestValue + c;
    const double lag = curve < 0.0 ? best + 0.5 * (a - c) / curve : best;
    return lag / rate;
}

// Seconds from the loudest moment (of the 5 ms level envelope) until the energy still to come
// (the backward integral of the squared signal, the reverberation measure) lies 40 dB below
// the energy to come from that moment: unlike the first time the level passes 40 dB down, it
// does not jump by an echo's distance when a gap between echoes dips below that level.
inline double EnergyDecay40dB(const std::vector<double>& x, int rate) {
    const std::vector<double> db = ratetest::Envelope(x, rate);
    if (db.empty()) return 0.0;
    const std::size_t hop = static_cast<std::size_t>(0.001 * rate);
    const std::size_t peak =
        static_cast<std::size_t>(std::max_element(db.begin(), db.end()) - db.begin()) * hop;
    std::vector<double> remaining(x.size() + 1, 0.0);
    for (std::size_t i = x.size(); i-- > 0;) remaining[i] = remaining[i + 1] + x[i] * x[i];
    const double target = remaining[peak] * 1e-4;
    for (std::size_t i = peak; i < x.size(); ++i)
        if (remaining[i] <= target) {
            const double fraction = (remaining[i - 1] - target) / (remaining[i - 1] - remaining[i]);
            return (static_cast<double>(i - 1 - peak) + fraction) / rate;
        }
    return static_cast<double>(x.size() - peak) / rate;
}

// The frequency (Hz) of a ringing between from and to seconds, from its zero crossings
// (interpolated between samples); 0 without two crossings.
inline double RingFrequency(const std::vector<double>& y, int rate, double from, double to) {
    const std::size_t begin = static_cast<std::size_t>(from * rate);
    const std::size_t end = std::min(y.size(), static_cast<std::size_t>(to * rate));
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if ((y[i - 1] < 0.0) == (y[i] < 0.0)) continue;
        const double at = static_cast<double>(i - 1) + y[i - 1] / (y[i - 1] - y[i]);
        if (first < 0.0) first = at;
        last = at;
        ++crossings;
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * 0.5 * rate / (last - first);
}

} // namespace effectsrate
