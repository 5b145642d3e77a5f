// A rack played hard: MIDI bytes through the engine into the rack, every block checked.
//
// After every block each module's output must be finite and within kBound (full scale is 1).
// The rig keeps the first fault it sees (what was playing, which module, which value) and
// counts what it covered for the soak's closing summary.
#pragma once

#include "core/Engine.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Coverage summed over every rig of the process.
struct tSoakCoverage {
    long racks = 0;
    long blocks = 0;
    double seconds = 0.0; // of sound, at whatever rate
    long events = 0;
    double peak = 0.0;     // largest absolute module output seen
    std::string peakWhere; // what played when it was seen
    static tSoakCoverage& Total();
};

class tSoakRig {
public:
    static constexpr double kBound = 1000.0;
    static constexpr double kSilence = 1e-3;
    static constexpr int kRate = 44100;
    static constexpr int kMaxEvents = 4096; // per block

    // what: a name for the case, shown with any fault. The engine runs at rate; modules
    // added to the rack take it.
    tSoakRig(std::string what, int period, int rate = kRate);
    ~tSoakRig();

    tRack& Rack() { return mRack; }
    int Period() const { return mPeriod; }
    int Rate() const { return mRate; }
    void SetPeriod(int period) { mPeriod = period; }

    // Switches every module on, on MIDI channel channel (1..16), with the instruments'
    // "midi controller" switch on so that controllers reach their sound.
    void SwitchAllOn(int channel);
    // Moves every module to MIDI channel channel (1..16).
    void MoveToChannel(int channel);
    int Channel() const { return mChannel; }

    // MIDI on channel index ch (0..15), at the start of the next block.
    void NoteOn(int ch, int key, int velocity) { Send({0x90 | ch, key, velocity}); }
    void NoteOff(int ch, int key) { Send({0x80 | ch, key, 0}); }
    void Controller(int ch, int number, int value) { Send({0xB0 | ch, number, value}); }
    void Bend(int ch, int value) { Send({0xE0 | ch, value & 0x7F, (value >> 7) & 0x7F}); }
    void AllNotesOff(int ch) { Controller(ch, 123, 0); }

    // One block; false once any module's output has left the bound.
    bool Block();
    bool Blocks(int count);
    // All notes off, then up to ten seconds of blocks: true when every active module has
    // stayed below kSilence for the last half second of them. Seconds of sound are kept.
    bool FallsSilent();
    double SoundingSeconds() const { return mSoundingSeconds; }

    bool Ok() const { return mFault.empty(); }
    const std::string& Fault() const { return mFault; }
    double Peak() const { return mPeak; }

private:
    void Send(std::initializer_list<int> bytes);
    double CheckModules(bool activeOnly);

    std::string mWhat;
    int mPeriod;
    int mRate;
    int mChannel = 1;
    tRack mRack;
    tMasterControls mMasterControls;
    tMasterStage mMaster;
    tEngine mEngine;
    std::vector<tEngineEvent> mDue;
    std::vector<double> mOut;
    long mBlocks = 0;
    long long mFrames = 0;
    long mEvents = 0;
    double mPeak = 0.0;
    double mSoundingSeconds = 0.0;
    std::string mFault;
};
