// The flute sounds compared across sample rates: the two built-in flute presets and a new
// module's default patch with each voice type, each holding one note, rendered alone (no
// effects unit) and measured with the shared rate measures.
#pragma once

#include "app/PresetTexts.h"
#include "common/RateMeasures.h"
#include "core/KeyFrequency.h"
#include "flute/FluteSynth.h"

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

// The held note of ratetest::RenderPresetNote (velocity 100, mono, 128-frame blocks).
inline std::vector<double> RenderCase(const tRateCase& c, int key, int rate,
                                      double hold = ratetest::kHoldSeconds,
                                      double tail = ratetest::kTailSeconds) {
    if (c.preset != nullptr)
        return ratetest::RenderPresetNote(FindPreset(c.preset), key, rate, hold, tail, true);
    tRack rack;
    rack.SetSampleRate(rate);
    rack.SetChannels(1);
    auto* module = new tFluteSynth(50, 45);
    module->Controls().oscillator.type.Set(c.type);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
    }
    rack.SetRendering(true);
    const int block = 128;
    const long holdFrames = std::lround(hold * rate);
    const long total = std::lround((hold + tail) * rate);
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(total + block));
    rack.NoteOn(0, key, 100);
    bool released = false;
    for (long done = 0; done < total; done += block) {
        if (!released && done >= holdFrames) {
            rack.NoteOff(0, key);
            released = true;
        }
        const double* mix = rack.Render(block);
        out.insert(out.end(), mix, mix + block);
    }
    out.resize(static_cast<std::size_t>(total));
    return out;
}

inline ratetest::tNoteMeasures MeasureCase(const tRateCase& c, int key, int rate) {
    return ratetest::Measure(RenderCase(c, key, rate), rate, KeyFrequency(key));
}

} // namespace flutetest
