// The flute sounds compared across sample rates: the two built-in flute presets and a new
// module's default patch with each voice type, each holding one note, rendered alone (no
// effects unit) and measured with the shared rate measures.
#pragma once

#include "catalog/PresetTexts.h"
#include "common/RateMeasures.h"
#include "core/KeyFrequency.h"
#include "dsp/Random.h"
#include "flute/FluteSynth.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace flutetest {

struct tRateCase {
    const char* name;
    const char* preset; // a built-in preset, or nullptr for a new module's default patch
    int type;           // the voice type of the new module: 0 "clarinet", 1 "flute"
};

inline constexpr tRateCase kRateCases[] = {
    {"Clarinet", "Clarinet", 0},
    {"BrightFlute", "BrightFlute", 1},
    {"default clarinet", nullptr, 0},
    {"default flute", nullptr, 1},
};
inline constexpr int kRateKeys[] = {45, 57, 69};

// The held note of ratetest::RenderPresetNote (velocity 100, mono, 128-frame blocks, the random
// generator from its first value).
inline std::vector<double> RenderCase(const tRateCase& c, int key, int rate,
                                      double hold = ratetest::kHoldSeconds,
                                      double tail = ratetest::kTailSeconds) {
    if (c.preset != nullptr)
        return ratetest::RenderPresetNote(FindPreset(c.preset), key, rate, hold, tail, true);
    tRack rack;
    const tRandomScope noise(rack.Random());
    rack.SetSampleRate(rate);
    rack.SetChannels(1);
    auto* module = new tFluteSynth(50, 45);
    module->Controls().oscillator.type.Set(c.type);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
    }
    return ratetest::PlayHeldNote(rack, key, rate, hold, tail);
}

// A wind note holds its level until the note-off, so the time to fall 40 dB from its loudest
// moment depends on where in the sustain the tremolo and drift put that moment. What decays is
// the release: the seconds from the note-off at hold until the level (RMS over 2 ms, at every
// sample) first lies 40 dB below the level of the last 100 ms before it; infinity if never.
inline double ReleaseTime40dB(const std::vector<double>& x, int rate,
                              double hold = ratetest::kHoldSeconds) {
    const long off = std::lround(hold * rate);
    const long before = std::lround(0.1 * rate);
    const long window = std::lround(0.002 * rate);
    if (off < before || off + window > static_cast<long>(x.size()))
        return std::numeric_limits<double>::infinity();
    double sustain = 0.0;
    for (long i = off - before; i < off; ++i) sustain += x[i] * x[i];
    const double limit = sustain / before * 1e-4 * window; // 40 dB below, summed over window
    double sum = 0.0;
    for (long i = off; i < off + window; ++i) sum += x[i] * x[i];
    for (long i = off; i + window < static_cast<long>(x.size()); ++i) {
        if (sum <= limit) return static_cast<double>(i - off) / rate;
        sum += x[i + window] * x[i + window] - x[i] * x[i];
    }
    return std::numeric_limits<double>::infinity();
}

// The rate measures of one case's note, with the release time as its decay.
inline ratetest::tNoteMeasures MeasureCase(const tRateCase& c, int key, int rate,
                                           double tail = ratetest::kTailSeconds) {
    const std::vector<double> x = RenderCase(c, key, rate, ratetest::kHoldSeconds, tail);
    ratetest::tNoteMeasures m = ratetest::Measure(x, rate, KeyFrequency(key));
    m.decay = ReleaseTime40dB(x, rate);
    return m;
}

} // namespace flutetest
