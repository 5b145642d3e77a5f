// The widgets of the effects window, grouped as the window groups them. They are the only
// store of the effect units' parameters: the units read them when they update, the patch text
// reads and writes them, and the rendering thread writes the level meter.
#pragma once

#include "core/Control.h"

#include <vector>

struct tUniversalFilterControls {
    static constexpr const char* kLabel = "Universal filter";
    tControl frequency = tControl::Slider("frequency", 0.05, 1.0, 0.001, 0.78);
    tControl resonance = tControl::Slider("resonance", 0.0, 1.0, 0.0, 0.11);
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    tControl type =
        tControl::Choice("type", {"critical", "bessel", "butterw", "tscheby", "tscheb3"}, 0);
    tControl mode = tControl::Choice("mode", {"low pass", "high pass", "band pass"}, 0);
    tControl order = tControl::Choice("order", {"6 dB", "12 dB", "18 dB", "24 dB"}, 0);
    tControl on = tControl::Switch("on", false);
    tControl modFreq = tControl::Slider(" mod freq.", 0.05, 1.0, 0.001, 0.78);
    tControl modDepth = tControl::Slider(" mod depth", 0.0, 3.0, 0.0, 0.11);
};

struct tDistortionControls {
    static constexpr const char* kLabel = "Distortion";
    tControl level = tControl::Slider("level", 0.0, 3.0, 0.0, 0.0);
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    tControl on = tControl::Switch("on", false);
    tControl softMode = tControl::Switch("soft mode", false);
};

struct tPMResonatorControls {
    static constexpr const char* kLabel = "PM resonator";
    tControl feed = tControl::Slider("feed", 0.0, 1.0, 0.001, 0.6);
    tControl feedFreq = tControl::Slider("feedfreq", 0.0, 1.0, 0.001, 0.44);
    tControl intensity = tControl::Slider("intensity", 0.0, 1.0, 0.001, 0.57);
    tControl efxVolume = tControl::Slider("efx vol.", 0.0, 1.0, 0.0, 0.9);
    tControl resoMode = tControl::Slider("reso. mode", 0.0, 1.0, 0.001, 0.5);
    tControl frequency = tControl::Slider("frequency", 0.0, 1.0, 0.001, 0.25);
    tControl scaleX20 = tControl::Switch("scale x20", false);
    tControl on = tControl::Switch("on", false);
    tControl efxOnly = tControl::Switch("efx only", false);
};

struct tChorusControls {
    static constexpr const char* kLabel = "Chorus";
    tControl frequency = tControl::Slider("frequency", 0.0, 55.0, 1.0, 18.0);
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    tControl on = tControl::Switch("on", false);
    tControl width = tControl::Slider("width", 10.0, 1024.0, 1.0, 20.0);
};

struct tReverbControls {
    static constexpr const char* kLabel = "Reverb";
    tControl damping = tControl::Slider("damping", 0.5, 3.0, 0.0, 2.0);
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    tControl on = tControl::Switch("on", false);
    tControl type = tControl::Choice("type", {"low", "reverb4", "reverb6", "reverb8"}, 0);
    tControl width = tControl::Slider("width", 0.0, 3.0, 0.0, 1.5);
    tControl roomSize = tControl::Slider("room size", 0.0, 3.0, 0.0, 1.5);
};

struct tDelayControls {
    static constexpr const char* kLabel = "Delay";
    tControl time = tControl::Slider("time [ms]", 50.0, 1000.0, 1.0, 200.0);
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    tControl on = tControl::Switch("on", false);
    tControl feedback = tControl::Slider("feedback", 0.0, 3.0, 0.0, 0.4);
    tControl pingPong = tControl::Switch("ping-pong", false);
};

struct tResonatorControls {
    static constexpr const char* kLabel = "Resonator";
    static constexpr int kBands = 5;
    tControl volume = tControl::Slider("volume", 0.0, 3.0, 0.0, 1.5);
    // Vertical fill sliders, 2 at the top and 0 at the bottom; band k sits at 45 * 2^k Hz.
    tControl bands[kBands] = {
        tControl::FillSlider("45", 2.0, 0.0, 0.0, 0.7),
        tControl::FillSlider("90", 2.0, 0.0, 0.0, 0.7),
        tControl::FillSlider("180", 2.0, 0.0, 0.0, 0.7),
        tControl::FillSlider("360", 2.0, 0.0, 0.0, 0.7),
        tControl::FillSlider("720", 2.0, 0.0, 0.0, 0.7),
    };
    tControl frequencyX2 = tControl::Switch("frequency x2", false);
    tControl on = tControl::Switch("on", false);
    tControl stereo = tControl::Switch("stereo", false);
};

// The framed bar at the top of the window.
struct tEffectsTopControls {
    // Meter colours (toolkit colour map): normal, above 0.8 and above 0.99 of full scale.
    static constexpr int kMeterNormal = 222;
    static constexpr int kMeterHigh = 174;
    static constexpr int kMeterClip = 132;

    tControl outputVolume = tControl::Slider("output volume", 0.0, 4.0, 0.0, 1.5);
    // Set while the module is switched off; a new module starts switched off.
    tControl allEffectsOff = tControl::Switch("all effects off", true);
    tControl meter = tControl::Display("VU ", 0.0, 1.0, 0.0, kMeterNormal);
    // The unlabelled switch beside the meter: the module measures the peak only while set.
    tControl meterOn = tControl::Switch("", false);
};

struct tEffectsControls {
    tEffectsTopControls top;
    tUniversalFilterControls filter;
    tDistortionControls distortion;
    tPMResonatorControls pmResonator;
    tChorusControls chorus;
    tReverbControls reverb;
    tDelayControls delay;
    tResonatorControls resonator;

    // Every control, group by group in the order above (for binding widgets and comparing
    // settings).
    std::vector<tControl*> All();
};
