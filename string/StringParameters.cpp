#include "string/StringParameters.h"

tParameterTable StringParameters(tStringControls& c) {
    using R = tParameterRole;
    auto& e = c.energy;
    auto& f = c.outputFilter;
    auto& v = c.envelope;
    auto& r = c.randomFilter;
    auto& w = c.wave;
    auto& o = c.output;
    const char* top = "";
    const char* energy = e.kTitle;
    const char* filter = f.kTitle;
    const char* envelope = v.kTitle;
    const char* random = r.kTitle;
    const char* wave = w.kTitle;
    const char* output = o.kTitle;
    // key, control, group, name, unit, controllers, record, field (after the version)
    return {
        {"on", nullptr, top, "on", tUnit::kNone, {}, 0, 0, 1, R::kOn},
        {"voices", &c.top.voices, top},
        {"midi_controller", &c.top.midiController, top, nullptr, tUnit::kNone, {}, 0, 42},
        {"midi_channel", &c.top.midiChannel, top, nullptr, tUnit::kNone, {}, 0, 0, 1, R::kChannel},
        {"loop_frequency", &e.frequency, energy, nullptr, tUnit::kNone, {11}, 0, 4},
        {"freq_max", &e.freqMax, energy, nullptr, tUnit::kNone, {}, 0, 6},
        {"loop_order", &e.filterOrder, energy, nullptr, tUnit::kNone, {12}, 0, 5},
        {"loop_follow", &e.filterFollows, energy, nullptr, tUnit::kNone, {}, 0, 7},
        {"feedback", &e.feedback, energy, nullptr, tUnit::kNone, {13}, 0, 12},
        {"soft_damp", &e.softDamp, energy, nullptr, tUnit::kNone, {14}, 0, 37},
        {"filter_attack", &e.filterAttack, energy, nullptr, tUnit::kNone, {}, 0, 17},
        {"fixed_time", &e.fixedTime, energy, nullptr, tUnit::kNone, {}, 0, 35},
        {"start_freq", &e.startFreq, energy, nullptr, tUnit::kNone, {}, 0, 18},
        {"off_delay", &e.offDelay, energy, nullptr, tUnit::kNone, {}, 0, 22},
        {"off_feedback", &e.offFeedback, energy, nullptr, tUnit::kNone, {}, 0, 28},
        {"cutoff", &f.frequency, filter, nullptr, tUnit::kOctaves, {17}, 0, 8},
        {"resonance", &f.resonance, filter, nullptr, tUnit::kNone, {18}, 0, 23},
        {"filter_kind", &f.kind, filter, "kind", tUnit::kNone, {19}, 0, 9},
        {"filter_slope", &f.slope, filter, "slope", tUnit::kNone, {20}, 0, 25},
        {"filter_follow", &f.filterFollows, filter, nullptr, tUnit::kNone, {}, 0, 24},
        {"env_amount", &v.envAmpl, envelope, nullptr, tUnit::kNone, {23}, 0, 34},
        {"env_speed", &v.envSpeed, envelope, nullptr, tUnit::kNone, {24}, 0, 33},
        {"env_sustain", &v.envSustain, envelope, nullptr, tUnit::kNone, {25}, 0, 32},
        {"env_release", &v.envRelease, envelope, nullptr, tUnit::kNone, {26}, 0, 31},
        {"env_mode", &v.envMode, envelope, nullptr, tUnit::kNone, {22}, 0, 30},
        {"noise_frequency", &r.frequency, random, nullptr, tUnit::kNone, {2}, 0, 13},
        {"noise_follow", &r.follows, random, nullptr, tUnit::kNone, {}, 0, 14},
        {"pink", &r.pink, random, nullptr, tUnit::kNone, {}, 0, 40},
        {"wave_amount", &w.amplitude, wave, nullptr, tUnit::kNone, {15}, 0, 11},
        {"wave_type", &w.type, wave, nullptr, tUnit::kNone, {16}, 0, 15},
        {"volume", &o.volume, output, nullptr, tUnit::kNone, {}, 0, 10},
        {"mute", &o.mute, output, nullptr, tUnit::kNone, {}, 0, 26},
        {"attack", &o.attack, output, nullptr, tUnit::kNone, {21}, 0, 1},
        {"release", &o.release, output, nullptr, tUnit::kNone, {}, 0, 3},
        {"silence", &o.silence, output, nullptr, tUnit::kNone, {}, 0, 20},
        {"lfo_frequency", &o.lfoFreq, output, nullptr, tUnit::kHz, {}, 0, 38},
        {"lfo_amount", &o.lfoAmpl, output, nullptr, tUnit::kNone, {1}, 0, 39},
        {"dc_filter", &o.dcFilter, output, nullptr, tUnit::kNone, {}, 0, 16},
        {"ampl_env", &o.amplEnv, output, nullptr, tUnit::kNone, {}, 0, 27},
        {"modulation", &o.modulation, output, nullptr, tUnit::kNone, {}, 0, 21},
        {"bass_boost", &o.bassBoost, output, nullptr, tUnit::kNone, {}, 0, 29},
        {"lin_velocity", &o.linVelocity, output, nullptr, tUnit::kNone, {}, 0, 41},
        {"auto_pan", &o.autoPan, output, nullptr, tUnit::kNone, {}, 0, 43},
    };
}
