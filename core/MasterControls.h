// The main window's master section: volume, limiter and VU switches, the two meters, and the
// audio "On" button with its light.
//
// The master stage reads the volume and the switches once per block and writes the meters'
// values and bar colours; the audio start and stop paths (the "On" button, the overload guard
// and a lost device) write the "On" button, the light and why audio went off; the audio
// output counts underruns. The window copies changed values into its widgets.
#pragma once

#include "core/Control.h"

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
    // The rendering thread's processor time per period, in percent of the period's duration
    // (the largest over a third of a second).
    tControl loadMeter = tControl::Display("load", 0.0, 100.0, 0.0, kLoadColourNormal);
    // Underruns of the audio device since the program started.
    tControl underruns = tControl::Display("underruns", 0.0, 1e9);
    // 1 while audio runs.
    tControl audioOn = tControl::Switch("On", false);
    tControl audioLight = tControl::Switch("", false);
    // Why audio last went off by itself (a tAudioOff value); written each time it happens.
    tControl audioOff = tControl::Display("audio off", 0.0, 4.0);
};

enum tAudioOff {
    kAudioOffNone = 0,
    kAudioOffOverload = 1,
    kAudioOffDeviceLost = 2,
    kAudioOffServerGone = 3, // the JACK server stopped
    kAudioOffRateChanged = 4 // the JACK server changed its rate: off and on again
};

// What the main window tells the user when audio went off by itself.
inline const char* AudioOffMessage(int reason) {
    switch (reason) {
    case kAudioOffOverload:
        return "Audio was switched off: the audio thread used more than 90 % of the processor "
               "time of each period for a second: the machine was overloaded. Press "
               "\"On\" to start it again; a larger period size or fewer voices lower the load.";
    case kAudioOffDeviceLost:
        return "Audio was switched off: the sound card stopped working or was removed. Press "
               "\"On\" to open it again.";
    case kAudioOffServerGone:
        return "Audio was switched off: the JACK server stopped. Start it again and press "
               "\"On\".";
    case kAudioOffRateChanged:
        return "The JACK server changed its sample rate: audio was switched off and on again at "
               "the new rate.";
    default:
        return "";
    }
}
