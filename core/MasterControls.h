// The main window's master section: volume, limiter and VU switches, the two meters, and the
// audio "On" button with its light.
//
// The master stage reads the volume and the switches once per block and writes the meters'
// values and bar colours; the audio start and stop paths (the "On" button and the overload
// guard) write the "On" button and the light. The window copies changed values into its
// widgets.
#pragma once

#include "core/Control.h"
#include "core/LoadCounters.h"

// Bar colours of the meters: indexes into the toolkit's 256-entry colour map.
constexpr int kVuColourLimited = 100;  // peak at full scale, limiter on
constexpr int kVuColourOverload = 132; // peak at full scale, limiter off
constexpr int kVuColourHot = 174;      // peak above 80 % of full scale
constexpr int kVuColourNormal = 222;
constexpr int kLoadColourWarning = 1; // red
constexpr int kLoadColourNormal = 6;  // cyan

struct tMasterControls {
    tControl volume = tControl::Slider("master volume", 0.0, 4.0, 0.01, 1.5);
    tControl limiter = tControl::Switch("Limiter", true);
    tControl vu = tControl::Switch("", true);
    // Peak of the last 42 blocks relative to full scale; range 0..1.
    tControl vuMeter = tControl::Display("VU ", 0.0, 1.0, 0.0, kVuColourNormal);
    // Blocks per tick scaled to 128-frame blocks. The window shows the range 5 .. the load
    // warning level, which is known once the MIDI source is chosen (tLoadCounters).
    tControl loadMeter = tControl::Display("load", 5.0, tLoadCounters::kSequencerWarningLevel, 0.0,
                                           kLoadColourNormal);
    // 1 while audio runs.
    tControl audioOn = tControl::Switch("On", false);
    tControl audioLight = tControl::Switch("", false);
};
