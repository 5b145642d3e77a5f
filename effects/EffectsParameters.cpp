#include "effects/EffectsParameters.h"

tParameterTable EffectsParameters(tEffectsControls& c) {
    using R = tParameterRole;
    using U = tUnit;
    auto& d = c.distortion;
    auto& f = c.filter;
    auto& p = c.pmResonator;
    auto& r = c.resonator;
    auto& h = c.chorus;
    auto& v = c.reverb;
    auto& l = c.delay;
    const char* top = "";
    // The text's records: 1 the output volume line, then one per chain position 0..7 (the
    // universal filter's first record is named; its second one repeats it).
    constexpr int kVolume = 1, kDist = 2, kFilter = 3, kPm = 4, kReso = 6, kChorus = 7, kReverb = 8,
                  kDelay = 9;
    // key, control, group, name, unit, controllers, record, field, scale
    return {
        {"fx_off", &c.top.allEffectsOff, top, nullptr, U::kNone, {}, 0, 0, 1, R::kBypass},
        {"fx_volume", &c.top.outputVolume, top, nullptr, U::kNone, {}, kVolume, 2, 100},
        {"fx_dist_on", &d.on, d.kLabel, nullptr, U::kNone, {}, kDist, 4},
        {"fx_dist_level", &d.level, d.kLabel, nullptr, U::kNone, {}, kDist, 2, 100},
        {"fx_dist_volume", &d.volume, d.kLabel, nullptr, U::kNone, {}, kDist, 1, 100},
        {"fx_dist_soft", &d.softMode, d.kLabel, nullptr, U::kNone, {}, kDist, 3},
        {"fx_filter_on", &f.on, f.kLabel, nullptr, U::kNone, {}, kFilter, 7},
        {"fx_filter_frequency", &f.frequency, f.kLabel, nullptr, U::kNone, {}, kFilter, 6, 1000},
        {"fx_filter_resonance", &f.resonance, f.kLabel, nullptr, U::kNone, {}, kFilter, 5, 100},
        {"fx_filter_mode", &f.mode, f.kLabel, nullptr, U::kNone, {}, kFilter, 2},
        {"fx_filter_type", &f.type, f.kLabel, nullptr, U::kNone, {}, kFilter, 3},
        {"fx_filter_order", &f.order, f.kLabel, nullptr, U::kNone, {}, kFilter, 4},
        {"fx_filter_mod_freq", &f.modFreq, f.kLabel, nullptr, U::kNone, {}, kFilter, 8, 1000},
        {"fx_filter_mod_depth", &f.modDepth, f.kLabel, nullptr, U::kNone, {}, kFilter, 9, 100},
        {"fx_filter_volume", &f.volume, f.kLabel, nullptr, U::kNone, {}, kFilter, 1, 100},
        {"fx_pm_on", &p.on, p.kLabel, nullptr, U::kNone, {}, kPm, 9},
        {"fx_pm_frequency", &p.frequency, p.kLabel, nullptr, U::kNone, {}, kPm, 1, 1000},
        {"fx_pm_scale_x20", &p.scaleX20, p.kLabel, nullptr, U::kNone, {}, kPm, 4},
        {"fx_pm_feed", &p.feed, p.kLabel, nullptr, U::kNone, {}, kPm, 2, 1000},
        {"fx_pm_feedfreq", &p.feedFreq, p.kLabel, nullptr, U::kNone, {}, kPm, 3, 1000},
        {"fx_pm_intensity", &p.intensity, p.kLabel, nullptr, U::kNone, {}, kPm, 7, 1000},
        {"fx_pm_mode", &p.resoMode, p.kLabel, nullptr, U::kNone, {}, kPm, 5, 1000},
        {"fx_pm_volume", &p.efxVolume, p.kLabel, nullptr, U::kNone, {}, kPm, 6, 100},
        {"fx_pm_efx_only", &p.efxOnly, p.kLabel, nullptr, U::kNone, {}, kPm, 8},
        {"fx_reso_on", &r.on, r.kLabel, nullptr, U::kNone, {}, kReso, 6},
        {"fx_reso_45", &r.bands[0], r.kLabel, nullptr, U::kNone, {}, kReso, 1, 100},
        {"fx_reso_90", &r.bands[1], r.kLabel, nullptr, U::kNone, {}, kReso, 2, 100},
        {"fx_reso_180", &r.bands[2], r.kLabel, nullptr, U::kNone, {}, kReso, 3, 100},
        {"fx_reso_360", &r.bands[3], r.kLabel, nullptr, U::kNone, {}, kReso, 4, 100},
        {"fx_reso_720", &r.bands[4], r.kLabel, nullptr, U::kNone, {}, kReso, 5, 100},
        {"fx_reso_x2", &r.frequencyX2, r.kLabel, nullptr, U::kNone, {}, kReso, 8},
        {"fx_reso_stereo", &r.stereo, r.kLabel, nullptr, U::kNone, {}, kReso, 9},
        {"fx_reso_volume", &r.volume, r.kLabel, nullptr, U::kNone, {}, kReso, 7, 100},
        {"fx_chorus_on", &h.on, h.kLabel, nullptr, U::kNone, {}, kChorus, 4},
        {"fx_chorus_frequency", &h.frequency, h.kLabel, nullptr, U::kNone, {}, kChorus, 2},
        {"fx_chorus_width", &h.width, h.kLabel, nullptr, U::kNone, {}, kChorus, 3},
        {"fx_chorus_volume", &h.volume, h.kLabel, nullptr, U::kNone, {}, kChorus, 1, 100},
        {"fx_reverb_on", &v.on, v.kLabel, nullptr, U::kNone, {}, kReverb, 4},
        {"fx_reverb_type", &v.type, v.kLabel, nullptr, U::kNone, {}, kReverb, 1},
        {"fx_reverb_damping", &v.damping, v.kLabel, nullptr, U::kNone, {}, kReverb, 2, 100},
        {"fx_reverb_width", &v.width, v.kLabel, nullptr, U::kNone, {}, kReverb, 6, 100},
        {"fx_reverb_room", &v.roomSize, v.kLabel, nullptr, U::kNone, {}, kReverb, 5, 100},
        {"fx_reverb_volume", &v.volume, v.kLabel, nullptr, U::kNone, {}, kReverb, 3, 100},
        {"fx_delay_on", &l.on, l.kLabel, nullptr, U::kNone, {}, kDelay, 5},
        {"fx_delay_time", &l.time, l.kLabel, nullptr, U::kMs, {}, kDelay, 2},
        {"fx_delay_feedback", &l.feedback, l.kLabel, nullptr, U::kNone, {}, kDelay, 3, 100},
        {"fx_delay_ping_pong", &l.pingPong, l.kLabel, nullptr, U::kNone, {}, kDelay, 4},
        {"fx_delay_volume", &l.volume, l.kLabel, nullptr, U::kNone, {}, kDelay, 1, 100},
    };
}
