#include "flute/FluteParameters.h"

tParameterTable FluteParameters(tFluteControls& c) {
    using R = tParameterRole;
    using U = tUnit;
    auto& o = c.oscillator;
    auto& b = c.breath;
    auto& p = c.pressure;
    auto& f = c.outputFilter;
    const char* top = "";
    const char* oscillator = "Oscillator settings";
    const char* breath = "Breath";
    const char* pressure = "Pressure - tremolo";
    const char* output = "Output control";
    const char* filter = "Output filter";
    // key, control, group, name, unit, controllers, record, field (after the tag and marker)
    return {
        {"on", &c.play, top, "on", U::kNone, {}, 0, 0, 1, R::kOn},
        {"midi_controller", &c.midiController, top, nullptr, U::kNone, {}, 0, 29},
        {"midi_channel", &c.midiChannel, top, nullptr, U::kNone, {}, 0, 0, 1, R::kChannel},
        {"loop_frequency", &o.frequency, oscillator, nullptr, U::kNone, {11}, 0, 4},
        {"freq_max", &o.freqMax, oscillator, nullptr, U::kNone, {}, 0, 5},
        {"loop_follow", &o.followNote, oscillator, nullptr, U::kNone, {}, 0, 6},
        {"feed_bore", &o.feedBore, oscillator, nullptr, U::kNone, {15}, 0, 17},
        {"embouchure", &o.embroSize, oscillator, nullptr, U::kNone, {12}, 0, 15},
        {"feed_emb", &o.feedEmb, oscillator, nullptr, U::kNone, {14}, 0, 16},
        {"scale_x100", &o.scale100, oscillator, nullptr, U::kNone, {}, 0, 25},
        {"type", &o.type, oscillator, nullptr, U::kNone, {}, 0, 19},
        {"loop_order", &o.filterOrder, oscillator, nullptr, U::kNone, {}, 0, 26},
        {"bore_scale", &o.boreScale, oscillator, nullptr, U::kNone, {13}, 0, 28},
        {"breath_frequency", &b.frequency, breath, nullptr, U::kNone, {}, 0, 11},
        {"breath_amount", &b.amplitude, breath, nullptr, U::kNone, {16}, 0, 10},
        {"breath_attack", &b.attack, breath, nullptr, U::kNone, {17}, 0, 13},
        {"breath_follow", &b.followNote, breath, nullptr, U::kNone, {}, 0, 12},
        {"breath_boost", &b.attackAmplitude, breath, nullptr, U::kNone, {18}, 0, 14},
        {"pressure", &p.pressure, pressure, nullptr, U::kNone, {2, 19}, 0, 18},
        {"tremolo_frequency", &p.tremoloFreq, pressure, nullptr, U::kHz, {21}, 0, 27},
        {"tremolo_amount", &p.amplitude, pressure, nullptr, U::kNone, {1}, 0, 20},
        {"pressure_attack", &p.attack, pressure, nullptr, U::kNone, {20}, 0, 1},
        {"volume", &c.outputControl.volume, output, nullptr, U::kNone, {}, 0, 9},
        {"mute", &c.outputControl.mute, output, nullptr, U::kNone, {}, 0, 24},
        {"cutoff", &f.frequency, filter, nullptr, U::kOctaves, {22}, 0, 7},
        {"resonance", &f.resonance, filter, nullptr, U::kNone, {23}, 0, 23},
        {"filter_follow", &f.followNote, filter, nullptr, U::kNone, {}, 0, 21},
        {"filter_type", &f.type, filter, "type", U::kNone, {24}, 0, 8},
        {"filter_on", &f.onOff, filter, "slope", U::kNone, {}, 0, 22},
    };
}
