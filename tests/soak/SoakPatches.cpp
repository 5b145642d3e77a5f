#include "SoakPatches.h"

#include "catalog/ModuleFactory.h"
#include "effects/EffectsModule.h"
#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <algorithm>
#include <cctype>
#include <sstream>

tSoakPreset tSoakPreset::Of(int index) {
    const tPresetTexts& texts = PresetTable()[index];
    auto text = [](const char* t) { return std::string(t != nullptr ? t : ""); };
    return {texts.label, text(texts.effects), text(texts.string), text(texts.flute)};
}

std::string& tSoakPreset::TextOf(int type) {
    return type == kEffectsModule ? effects : type == kStringModule ? string : flute;
}

const std::string& tSoakPreset::TextOf(int type) const {
    return type == kEffectsModule ? effects : type == kStringModule ? string : flute;
}

namespace {
std::unique_ptr<tSlot> Made(int type, int x, const std::string& name, const std::string& text) {
    std::unique_ptr<tSlot> slot = CreateModule(type, x, 45);
    std::istringstream in(text);
    slot->ReadPatch(name.c_str(), in);
    return slot;
}
} // namespace

void AddSoakPreset(tRack& rack, const tSoakPreset& preset) {
    tSlot* effects = nullptr;
    if (!preset.effects.empty()) {
        effects = Made(kEffectsModule, 160, preset.label, preset.effects).release();
        rack.Insert(effects);
    }
    for (int type : {kStringModule, kFluteModule}) {
        const std::string& text = type == kStringModule ? preset.string : preset.flute;
        if (text.empty()) continue;
        tSlot* slot = Made(type, 50, preset.label, text).release();
        if (effects != nullptr) rack.Connect(slot, effects);
        rack.Insert(slot);
    }
}

std::vector<tControl*> PatchControls(tSlot& module) {
    if (auto* effects = dynamic_cast<tEffectsModule*>(&module)) {
        std::vector<tControl*> all = effects->Engine().Controls().All();
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [](tControl* c) { return c->Kind() == tControlKind::Display; }),
                  all.end());
        return all;
    }
    if (auto* string = dynamic_cast<tStringModule*>(&module)) {
        tStringControls& c = string->Controls();
        return {&c.energy.frequency,       &c.energy.freqMax,
                &c.energy.filterOrder,     &c.energy.filterFollows,
                &c.energy.feedback,        &c.energy.softDamp,
                &c.energy.filterAttack,    &c.energy.fixedTime,
                &c.energy.startFreq,       &c.energy.offDelay,
                &c.energy.offFeedback,     &c.outputFilter.frequency,
                &c.outputFilter.resonance, &c.outputFilter.kind,
                &c.outputFilter.slope,     &c.outputFilter.filterFollows,
                &c.envelope.envAmpl,       &c.envelope.envSpeed,
                &c.envelope.envSustain,    &c.envelope.envRelease,
                &c.envelope.envMode,       &c.randomFilter.frequency,
                &c.randomFilter.follows,   &c.randomFilter.pink,
                &c.wave.amplitude,         &c.wave.type,
                &c.output.volume,          &c.output.mute,
                &c.output.attack,          &c.output.release,
                &c.output.silence,         &c.output.lfoFreq,
                &c.output.lfoAmpl,         &c.output.dcFilter,
                &c.output.amplEnv,         &c.output.modulation,
                &c.output.bassBoost,       &c.output.linVelocity,
                &c.output.autoPan,         &c.top.midiController};
    }
    if (auto* flute = dynamic_cast<tFluteSynth*>(&module)) {
        tFluteControls& c = flute->Controls();
        return {&c.oscillator.frequency,   &c.oscillator.freqMax,     &c.oscillator.followNote,
                &c.oscillator.feedBore,    &c.oscillator.embroSize,   &c.oscillator.feedEmb,
                &c.oscillator.type,        &c.oscillator.filterOrder, &c.oscillator.boreScale,
                &c.oscillator.scale100,    &c.breath.frequency,       &c.breath.amplitude,
                &c.breath.attack,          &c.breath.followNote,      &c.breath.attackAmplitude,
                &c.pressure.pressure,      &c.pressure.tremoloFreq,   &c.pressure.amplitude,
                &c.pressure.attack,        &c.outputControl.volume,   &c.outputControl.mute,
                &c.outputFilter.frequency, &c.outputFilter.resonance, &c.outputFilter.followNote,
                &c.outputFilter.type,      &c.outputFilter.onOff,     &c.midiController};
    }
    return {};
}

std::vector<double> EndsAndBeyond(const tControl& control) {
    switch (control.Kind()) {
    case tControlKind::Choice: {
        const double last = control.EntryCount() - 1;
        return {0.0, last, -1.0, last + 1.0, 1000.0};
    }
    case tControlKind::Switch:
        return {0.0, 1.0, -1.0, 7.0};
    default: {
        const double lo = std::min(control.Minimum(), control.Maximum());
        const double hi = std::max(control.Minimum(), control.Maximum());
        const double span = std::max(hi - lo, 1.0);
        return {lo, hi, lo - 100.0 * span, hi + 100.0 * span};
    }
    }
}

std::string TextWithField(int type, const std::string& base, std::size_t index, double value) {
    std::unique_ptr<tSlot> module = Made(type, 0, "extreme", base);
    std::vector<tControl*> controls = PatchControls(*module);
    controls.at(index)->SetRaw(value);
    std::ostringstream out;
    module->WritePatch(out);
    return out.str();
}

std::vector<std::pair<std::size_t, std::size_t>> NumberTokens(const std::string& text) {
    std::vector<std::pair<std::size_t, std::size_t>> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
            continue;
        }
        const std::size_t begin = at;
        while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        const std::string token = text.substr(begin, at - begin);
        char* end = nullptr;
        std::strtod(token.c_str(), &end);
        if (end != token.c_str() && *end == '\0') tokens.emplace_back(begin, at - begin);
    }
    return tokens;
}

std::string DamagedText(const std::string& text, std::mt19937& random) {
    static const char* const kNumbers[] = {
        "1e308", "-1e308", "1e-320", "99999999", "-99999999", "2147483647", "-2147483648", "0",
        "-1",    "1e6",    "-1e6",   "nan",      "inf",       "1.01",       "0.5",         "127"};
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::string damaged = text;
    const int edits = pick(1, 4);
    for (int e = 0; e < edits; ++e) {
        const auto tokens = NumberTokens(damaged);
        const int kind = pick(0, 9);
        if (kind < 7 && !tokens.empty()) { // a number replaced: the most telling damage
            const auto& token =
                tokens[static_cast<std::size_t>(pick(0, static_cast<int>(tokens.size()) - 1))];
            damaged.replace(token.first, token.second,
                            kNumbers[pick(0, sizeof kNumbers / sizeof kNumbers[0] - 1)]);
        } else if (kind < 8 && !damaged.empty()) {
            damaged[static_cast<std::size_t>(pick(0, static_cast<int>(damaged.size()) - 1))] =
                "0123456789-.e \n"[pick(0, 14)];
        } else if (kind < 9 && !damaged.empty()) {
            damaged.erase(static_cast<std::size_t>(pick(0, static_cast<int>(damaged.size()) - 1)),
                          static_cast<std::size_t>(pick(1, 20)));
        } else {
            damaged.resize(static_cast<std::size_t>(pick(0, static_cast<int>(damaged.size()))));
        }
    }
    return damaged;
}
