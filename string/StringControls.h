// The string synthesizer's sound parameters, one control per widget of its editor window,
// grouped as the window groups them. The engine reads them at note start and at block start;
// MIDI controllers and patch loading write them.
#pragma once

#include "core/Control.h"

struct tStringControls {
    struct tEnergyDissipation {
        static constexpr const char* kTitle = "Energy dissipation";
        tControl frequency = tControl::Slider("frequency", 0.05, 1.0, 0.001, 0.72);
        tControl freqMax = tControl::Slider("freq max", 0.1, 1.0, 0.001, 0.921);
        tControl filterOrder = tControl::Choice("filter order", {"1", "2", "3", "4"}, 0);
        tControl filterFollows =
            tControl::Choice("filter follows note", {"no", "yes", "cool", "usr1", "usr2"}, 2);
        tControl feedback = tControl::Slider("feedback", 0.6, 1.01, 0.001, 0.984);
        tControl softDamp = tControl::Slider("soft damp.", 0.0, 20.0, 1.0, 20.0);
        tControl filterAttack = tControl::Slider("filter attack", 0.0, 200.0, 1.0, 3.0);
        tControl fixedTime = tControl::Switch(" fixed time", true);
        tControl startFreq = tControl::Slider("start freq", 0.0, 1.0, 0.001, 0.369);
        tControl offDelay = tControl::Slider("off delay", 0.0, 100.0, 1.0, 26.0);
        tControl offFeedback = tControl::Slider("off-feedb.", 0.97, 1.0, 0.0001, 0.9969);
    };

    struct tOutputFilter {
        static constexpr const char* kTitle = "Output filter";
        tControl frequency = tControl::Slider("frequency", 0.5, 10.0, 0.0, 6.4);
        tControl resonance = tControl::Slider("resonance", 0.0, 1.0, 0.0, 0.0);
        tControl kind =
            tControl::Choice("", {"critical", "bessel", "butterw", "tscheby", "tscheb3"}, 0);
        tControl slope = tControl::Choice(
            "", {"  off", "   6 dB", "  12 dB", "+12 dB", "  18 dB", "+18 dB", "  24 dB", "+24 dB"},
            0);
        tControl filterFollows = tControl::Choice("filter follows note", {"no", "lin", "usr"}, 0);
    };

    struct tOutputFilterEnvelope {
        static constexpr const char* kTitle = "Output filter envelope";
        tControl envAmpl = tControl::Slider("env ampl.", 0.0, 5.0, 0.0, 0.0);
        tControl envSpeed = tControl::Slider("env speed", 0.0, 1.0, 0.001, 0.4);
        tControl envSustain = tControl::Slider("env sustain", 0.0, 1.0, 0.001, 0.2);
        tControl envRelease = tControl::Slider("env release", 0.0, 1.0, 0.001, 0.2);
        tControl envMode = tControl::Choice(
            "env mode",
            {"off", "normal", "accent", "acc.inv", "ampl.", "a. inv", "speed", "s. inv"}, 0);
    };

    struct tRandomFilter {
        static constexpr const char* kTitle = "Random filter";
        tControl frequency = tControl::Slider("frequency", 0.05, 1.0, 0.001, 0.445);
        tControl follows = tControl::Choice("follows", {"no", "yes", "cool", "usr1", "usr2"}, 2);
        tControl pink = tControl::Switch("pink", false);
    };

    struct tAdditionalWave {
        static constexpr const char* kTitle = "Additional wave";
        tControl amplitude = tControl::Slider("Wave ampl.", 0.0, 1.0, 0.0, 0.52);
        tControl type = tControl::Choice("Wave type",
                                         {"none", "sin", "rect", "saw", "tri", "crect", "csaw",
                                          "ctri", "piano", "piano2", "metal", "sawres"},
                                         1);
    };

    struct tOutputAndNoteControl {
        static constexpr const char* kTitle = "Output and note control";
        tControl volume = tControl::Slider("volume", 0.0, 5.0, 0.0, 3.87);
        tControl mute = tControl::Switch("mute", true);
        tControl attack = tControl::Slider("attack", 0.0, 100.0, 1.0, 4.0);
        tControl release = tControl::Slider("release", 0.0, 1.0, 0.001, 0.0);
        tControl silence = tControl::Slider("silence", 0.0, 10.0, 1.0, 0.0);
        tControl lfoFreq = tControl::Slider("LFO freq.", 0.2, 5.0, 0.0, 0.5);
        tControl lfoAmpl = tControl::Slider("LFO ampl.", 0.0, 1.0, 0.0, 0.0);
        tControl dcFilter = tControl::Switch("dc-filter", false);
        tControl amplEnv = tControl::Switch("ampl-env", false);
        tControl modulation = tControl::Switch("modulation", false);
        tControl bassBoost = tControl::Switch("bass boost", false);
        tControl linVelocity = tControl::Switch("lin velocity", false);
        tControl autoPan = tControl::Switch("auto pan", false);
    };

    // The top bar: voice count, controller gate and MIDI channel.
    struct tTopBox {
        // Entries "2" .. "12" and "24"; the window starts at "8".
        tControl voices = tControl::Choice(
            "# of voices", {"2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "24"}, 6);
        tControl midiController = tControl::Switch("midi controller", false);
        tControl midiChannel = tControl::Choice(
            "midi channel",
            {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"},
            0);
    };

    tEnergyDissipation energy;
    tOutputFilter outputFilter;
    tOutputFilterEnvelope envelope;
    tRandomFilter randomFilter;
    tAdditionalWave wave;
    tOutputAndNoteControl output;
    tTopBox top;

    // Voice count shown by "# of voices": 2..12 or 24; 1 when no valid entry is selected.
    int VoiceCount() const;
    // Selects the "# of voices" entry for n voices: 1 (and anything below) selects "12",
    // 13 and above "24".
    void SelectVoiceCount(int n);
};
