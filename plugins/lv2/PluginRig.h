// What one Kelvora plugin instance runs, without anything of the plugin standard: a rack of
// its own (an instrument feeding an effects unit, or the host's input feeding the effects
// unit), the engine that renders it, and the parameter table its control ports follow.
//
// Ports: the instruments have the MIDI input and the stereo output (three ports), the effects
// plugin the stereo input and output (four); the control ports follow in table order, the
// instrument's parameters before its effects unit's.
#pragma once

#include "core/Engine.h"
#include "core/Parameter.h"
#include "core/Rack.h"

#include <string>
#include <vector>

class tSlot;
class tEffectsModule;
class tHostInput;

enum class tPluginKind { kString, kFlute, kEffects };

// The plugin's identity as hosts see it.
struct tPluginInfo {
    tPluginKind kind;
    const char* uri;
    const char* name;
    const char* symbol; // "string", "flute", "effects"
    bool instrument;
};
const std::vector<tPluginInfo>& PluginInfos();
const tPluginInfo* FindPlugin(const char* uri);

class tPluginRig {
public:
    static constexpr int kMaxFrames = 8192; // frames rendered in one go; longer calls loop
    static constexpr int kMaxEvents = 2048; // MIDI events one call can carry

    // Builds the modules at the rate (audio off: this allocates); the instrument starts
    // switched on and its effects running, as the ports' defaults say.
    tPluginRig(tPluginKind kind, int rate);
    ~tPluginRig() = default;
    tPluginRig(const tPluginRig&) = delete;
    tPluginRig& operator=(const tPluginRig&) = delete;

    tPluginKind Kind() const { return mKind; }
    int SampleRate() const { return mRate; }
    // Index of the first control port.
    int FirstControlPort() const { return mKind == tPluginKind::kEffects ? 4 : 3; }
    const tParameterTable& Parameters() const { return mParameters; }
    // Number of the parameters of the instrument (the effects unit's follow them).
    int InstrumentParameters() const { return mInstrumentParameters; }

    // Audio off: every module prepared, all notes off.
    void Activate();

    // Rendering thread, at the start of a call: a port's value that differs from the one
    // last seen is written into its control (and the module switched, its channel set or its
    // effects bypassed as the window's widget would). No allocation, no lock.
    void ApplyPort(int parameter, float value);
    // The value a port holds for the parameter's current control value.
    float PortValue(int parameter) const;
    // After the controls changed outside the ports (state restored): the current values
    // count as seen, so that ports holding them change nothing.
    void TakeControlsAsSeen();

    // Rendering thread. events sorted by frame (stamped within the call); in: the host's
    // input (effects plugin only, may alias out); out: left and right. Any frames >= 0.
    void Process(const tEngineEvent* events, int count, const float* inLeft, const float* inRight,
                 float* outLeft, float* outRight, int frames);

    // The patch texts: the instrument's (".pst" or ".flt"; empty for the effects plugin) and
    // the effects unit's (".efx"). Not while Process runs. Reading an effects text starts the
    // units from rest, as a module made from the text and put in a rack starts.
    std::string InstrumentText() const;
    std::string EffectsText() const;
    void ReadInstrumentText(const std::string& text);
    void ReadEffectsText(const std::string& text);

    tSlot* Instrument() const { return mInstrument; }
    tEffectsModule& Effects() const { return *mEffects; }
    tRack& Rack() { return mRack; }

private:
    tPluginKind mKind;
    int mRate;
    tRack mRack;
    tEngine mEngine{mRack};
    tSlot* mInstrument = nullptr; // owned by the rack
    tEffectsModule* mEffects = nullptr;
    tHostInput* mInput = nullptr;
    tParameterTable mParameters;
    int mInstrumentParameters = 0;
    std::vector<float> mSeen;          // the port values last applied
    std::vector<tEngineEvent> mEvents; // one stretch's events
    std::vector<double> mIn;           // kMaxFrames x 2 interleaved
    std::vector<double> mOut;          // kMaxFrames x 2 interleaved
};
