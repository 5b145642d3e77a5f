// Every widget of the flute synthesizer's editor window, grouped as the window groups them.
//
// The controls are the flute module's parameter store: the module reads them when a note
// starts and at every block, MIDI controllers and patch loading write them, and patch saving
// reads them. Choices hold their entry index, check and toggle buttons 0 or 1.
#pragma once

#include "core/Control.h"

struct tFluteControls {
    tFluteControls();
    tFluteControls(const tFluteControls&) = delete;
    tFluteControls& operator=(const tFluteControls&) = delete;

    // Left column: the bore and jet of the model.
    struct tOscillator {
        tControl frequency = tControl::Slider("frequency", 0.05, 1.0, 0.001, 0.795);
        tControl freqMax = tControl::Slider("freq max", 0.1, 1.0, 0.001, 0.95);
        tControl followNote = tControl::Choice("filter follows note", {"no", "yes"}, 0);
        tControl feedBore = tControl::Slider("feed bore", 0.0, 1.0, 0.01, 0.59);
        tControl embroSize = tControl::Slider("embro. size", 0.01, 0.7, 0.01, 0.5);
        tControl feedEmb = tControl::Slider("feed emb", 0.0, 1.0, 0.01, 0.48);
        tControl scale100 = tControl::Switch("scale x100", false);
        tControl type = tControl::Choice("type", {"clarinet", "flute"}, 1);
        tControl filterOrder = tControl::Choice("filter order", {"1", "2"}, 0);
        tControl boreScale = tControl::Slider("bore scale", 1.0, 10.0, 1.0, 1.0);
    } oscillator;

    struct tBreath {
        tControl frequency = tControl::Slider("frequency", 0.0, 1.0, 0.001, 0.16);
        tControl amplitude = tControl::Slider("amplitude", 0.0, 1.0, 0.001, 0.16);
        tControl attack = tControl::Slider("attack", 0.0, 20.0, 1.0, 11.0);
        tControl followNote =
            tControl::Choice("filter follows note", {"no", "yes", "cool", "usr1", "usr2"}, 1);
        // The second "amplitude": the breath boost at the note start.
        tControl attackAmplitude = tControl::Slider("amplitude", 0.1, 1.0, 0.01, 0.5);
    } breath;

    // "Pressure - tremolo"
    struct tPressure {
        tControl pressure = tControl::Slider("pressure", 0.0, 1.0, 0.001, 0.41);
        tControl tremoloFreq = tControl::Slider("tremolo freq", 0.5, 5.0, 0.01, 1.23);
        tControl amplitude = tControl::Slider("amplitude", 0.0, 1.0, 0.01, 0.23);
        tControl attack = tControl::Slider("attack", 0.0, 20.0, 1.0, 0.0);
    } pressure;

    // "Output control"
    struct tOutputControl {
        tControl volume = tControl::Slider("volume", 0.0, 5.0, 0.01, 1.7);
        tControl mute = tControl::Switch("mute", true);
    } outputControl;

    // "Output filter"
    struct tOutputFilter {
        tControl frequency = tControl::Slider("frequency", 0.5, 10.0, 0.01, 2.38);
        tControl resonance = tControl::Slider("resonance", 0.0, 1.0, 0.01, 0.14);
        tControl followNote = tControl::Choice("filter follows note", {"no", "lin", "usr"}, 1);
        tControl type =
            tControl::Choice("", {"critical", "bessel", "butterw", "tscheby", "tscheb3"}, 1);
        tControl onOff = tControl::Choice("", {"  off", "  12 dB"}, 0);
    } outputFilter;

    // Top row. "midi channel" shows the module's channel (entry index = channel 0..15);
    // "midi controller" lets controllers 1..24 move the widgets.
    tControl midiChannel;
    tControl midiController = tControl::Switch("midi controller", true);

    // Bottom right: the play button is lit while the module is on.
    tControl play = tControl::Switch("@>", false);
};
