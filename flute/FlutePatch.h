// The flute patch record (.flt files, the flute text of rack files and built-in presets) and
// the mirror the window keeps of its widgets.
//
// Writing copies the widgets into the mirror and writes the mirror; reading fills the mirror
// and then sets every widget from it. Fields a record does not carry keep their previous
// mirror value, so the mirror is state of its own and not just a copy of the widgets.
#pragma once

#include <iosfwd>

struct tFluteControls;

// The 29 fields in record order.
struct tFluteRecord {
    double pressureAttack = 0.0;        //  1 Pressure "attack"
    double unused2 = 100.0;             //  2 (no widget; written as 1)
    double unused3 = 0.0;               //  3 (no widget; written as 1)
    double loopFrequency = 0.795;       //  4 Oscillator "frequency"
    double freqMax = 0.95;              //  5 "freq max"
    int loopFollowNote = 0;             //  6 Oscillator "filter follows note"
    double cutoff = 2.38;               //  7 Output filter "frequency"
    int filterType = 1;                 //  8 output filter type
    double volume = 1.7;                //  9 "volume"
    double breathAmplitude = 0.16;      // 10 Breath "amplitude"
    double breathFrequency = 0.16;      // 11 Breath "frequency"
    int breathFollowNote = 1;           // 12 Breath "filter follows note"
    double breathAttack = 11.0;         // 13 Breath "attack"
    double breathAttackAmplitude = 0.5; // 14 Breath attack "amplitude"
    double embroSize = 0.5;             // 15 "embro. size"
    double feedEmb = 0.48;              // 16 "feed emb"
    double feedBore = 0.59;             // 17 "feed bore"
    double pressure = 0.41;             // 18 "pressure"
    int type = 1;                       // 19 "type"
    double tremoloAmplitude = 0.23;     // 20 Pressure - tremolo "amplitude"
    int outputFollowNote = 1;           // 21 Output "filter follows note"
    int filterOn = 0;                   // 22 output filter on/off
    double resonance = 0.14;            // 23 "resonance"
    int mute = 1;                       // 24 "mute"
    int scale100 = 0;                   // 25 "scale x100"
    int filterOrder = 0;                // 26 "filter order"
    double tremoloFreq = 1.23;          // 27 "tremolo freq"
    double boreScale = 1.0;             // 28 "bore scale"
    int midiController = 1;             // 29 "midi controller"
};

class tFlutePatch {
public:
    static constexpr int kTag = 11;
    static constexpr double kMarker = -1.68;

    // The mirror starts as the record of a new module.
    tFluteRecord& Mirror() { return mMirror; }
    const tFluteRecord& Mirror() const { return mMirror; }

    // Widgets into the mirror: fields 2 and 3 become 1, the bore scale its whole number.
    void Capture(const tFluteControls& controls);
    // Mirror into the widgets. Sliders take the value as stored (no range limit); a choice
    // ignores an index that names no entry; a button stores on for any non-zero value.
    void Apply(tFluteControls& controls) const;

    // Writes the mirror in the current format: the tag line, then the marker and 29 fields.
    void Write(std::ostream& out) const;
    // Reads a record of either format into the mirror. A record that ends early, or a field
    // that is not a number, leaves the remaining fields as they were.
    void Read(std::istream& in);

private:
    tFluteRecord mMirror;
};
