// The string patch text (".pst" files, rack files, built-in presets) and the record that
// shadows the controls while a patch is read or written.
//
// Saving copies the controls into the record and writes it; loading reads into the record
// and copies it into the controls. Values missing from a text keep what the record held.
#pragma once

#include <iosfwd>

struct tStringControls;

struct tStringPatch {
    static constexpr int kVersion = 19; // the version this program writes

    // Fields in the order of the text; choices hold entry indices, switches 0 or 1.
    double attack = 4.0;
    double release = 0.0;
    double loopFrequency = 0.72;
    int filterOrder = 0;
    double freqMax = 0.921;
    int loopFollow = 2;
    double outputFrequency = 6.4;
    int kind = 0;
    double volume = 3.87;
    double waveAmount = 0.52;
    double feedback = 0.984;
    double randomFrequency = 0.445;
    int randomFollow = 2;
    int waveType = 1;
    int dcFilter = 0;
    double filterAttack = 3.0;
    double startFreq = 0.369;
    double silence = 0.0;
    int modulation = 0;
    double offDelay = 26.0;
    double resonance = 0.0;
    int outputFollow = 0;
    int slope = 0;
    int mute = 1;
    int amplEnv = 0;
    double offFeedback = 0.9969;
    int bassBoost = 0;
    int envMode = 0;
    double envRelease = 0.2;
    double envSustain = 0.2;
    double envSpeed = 0.4;
    double envAmount = 0.0;
    int fixedTime = 1;
    int reserved = 0; // kept and written back, used by nothing
    double softDamp = 20.0;
    double lfoFrequency = 0.5;
    double lfoAmount = 0.0;
    int pink = 0;
    int linVelocity = 0;
    int midiController = 0;
    int autoPan = 0;

    // Reads a patch text of any version (older texts are converted to today's units and
    // lists). Returns the version found; a text whose version cannot be read counts as the
    // current version with nothing read.
    int Read(std::istream& in);
    // Writes the text in the current version.
    void Write(std::ostream& out) const;

    // Copies the record into the controls. Sliders are limited to their ranges and the
    // limited value is kept in the record too; "soft damp.", "LFO freq." and "LFO ampl." are
    // copied unlimited.
    void CopyTo(tStringControls& controls);
    void CopyFrom(const tStringControls& controls);
};
