// The engine of the effects module: sums nothing itself (the slot gathers the inputs into its
// buffer), runs the buffer in place through the fixed chain of seven units, applies the output
// volume and the stereo balance and drives the level meter.
//
// Chain positions: 0 distortion, 1 universal filter, 2 PM resonator, 3 the universal filter
// again (it keeps the patch text's line layout and is never prepared or processed through
// this position), 4 resonator, 5 chorus, 6 reverb, 7 delay. The unit at position p re-reads
// its widgets at block 5p of every 42-block cycle, and only when it is on then. At another rate
// than 44100 Hz the cycle and those blocks are counted in proportion to the rate (to the
// nearest block), so that with blocks of as many frames a setting reaches its unit, and the
// meter and the output volume are refreshed, at the same times in seconds.
#pragma once

#include "dsp/SampleRate.h"
#include "effects/EffectsControls.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tEffectUnit;

class tEffects {
public:
    static constexpr int kBufferSize = 1024; // doubles: frames x channels of one block
    static constexpr int kChainLength = 8;
    static constexpr int kFilterAgain = 3; // the second reference to the universal filter
    static constexpr int kCycleBlocks = 42;

    tEffects();
    ~tEffects();
    tEffects(const tEffects&) = delete;
    tEffects& operator=(const tEffects&) = delete;

    tEffectsControls& Controls() { return mControls; }
    const tEffectsControls& Controls() const { return mControls; }
    // The unit at chain position 0..7 (position 3 is the universal filter of position 1).
    tEffectUnit* Unit(int position) const { return mChain[position]; }

    // Sets "on"; every unit's signal state is cleared before the next block.
    void SwitchOn();
    void SwitchOff();
    bool On() const { return mOn.load(std::memory_order_relaxed); }
    // Balance from MIDI pan 0..127 (64 = centre).
    void SetPan(int value);
    void SetChannels(int n) {
        IdleUnits();
        mChannels = n == 1 ? 1 : 2;
        mZeros = 0;
    }
    int Channels() const { return mChannels; }
    // Every unit takes the rate and sizes its delay memories for it (audio off: this
    // allocates). A rate outside the accepted range is held at its nearer end.
    void SetSampleRate(int rate);
    int SampleRate() const { return mRate; }
    // Channels, cleared state and fresh coefficients for every unit (no allocation).
    void Prepare();
    // Runs the chain and the output stage on the buffer (frames x channels values).
    void Render(int frames) { Render(frames, false); }
    // inputZeros: the caller knows the buffer holds nothing but +0 (no input had sound).
    void Render(int frames, bool inputZeros);
    double* Buffer() { return mBuffer; }
    // Values at the buffer's start that are +0 since the last block: the engine slept through
    // it on a silent input, which leaves them so.
    int Zeros() const { return mZeros; }
    // False while "all effects off" is set.
    bool IsActive() const { return !mControls.top.allEffectsOff.IsOn(); }

    // The window title: "KV Effects", or "KV Effects   (name)" after a patch was read.
    const std::string& Name() const { return mName; }
    void SetName(const std::string& name) { mName = name; }

    double GainLeft() const { return mGainLeft; }
    double GainRight() const { return mGainRight; }
    // The output volume factor x 32768, refreshed at the start of every cycle.
    double OutputGain() const { return mOutputGain; }
    int BlockCount() const { return mBlockCount; }
    // How often the chain was cleared because a unit's output ran out of numbers.
    long UnitResets() const { return mUnitResets; }

    // Sleeping. While its input is silent (no active input, or only zeros) and the state of
    // every unit switched on has died away, the module stops processing: its blocks are
    // silent, the units only take their updates and move on their sweeps and LFOs, until a
    // block brings sound or a setting is written; that block is processed as if the module
    // had never slept. A render differs from one without sleeping by far less than a step of
    // 16-bit output. The switches serve comparisons: one for every module of the process,
    // one for this module; sleeping is allowed by default.
    static void AllowSleep(bool allowed) {
        sSleepAllowed.store(allowed, std::memory_order_relaxed);
    }
    void SetSleepAllowed(bool allowed) { mSleepAllowed = allowed; }
    bool SleepAllowed() const {
        return mSleepAllowed && sSleepAllowed.load(std::memory_order_relaxed);
    }
    // True while the module sleeps (rendering thread; cheap).
    bool Asleep() const { return mAsleep; }
    // Blocks rendered asleep since construction.
    long SleptBlocks() const { return mSleptBlocks; }
    // Blocks processed since construction in which units at the start of the chain slept.
    long PartlySleptBlocks() const { return mPartlySleptBlocks; }

    // Frames of silent input after which the units' states are examined again.
    static constexpr int kRestCheckFrames = 2048;

private:
    // Every unit's signal state to rest (rendering thread).
    void ClearUnits();
    // A block while asleep: the units update at their blocks and idle; the block is silent.
    void Doze(int frames, int count, bool zeroed);
    // Unit p through a block asleep: its update on time, its idling once a cycle.
    void SleepThrough(int p, int frames);
    // After a processed block: whether the module may fall asleep.
    void WatchForRest(bool silentInput, int frames);
    // The module and every unit in it awake.
    void WakeUnits();
    // Every unit idles through the frames it slept and has not idled through yet.
    void IdleUnits();
    // Counts blocks since a setting was last written; true when one was in this block.
    bool SettingsChanged();

    tEffectsControls mControls;
    std::unique_ptr<tEffectUnit> mUnits[7]; // each unit once, in chain order
    tEffectUnit* mChain[kChainLength + 1] = {};
    std::atomic<bool> mOn{false};
    // Set by SwitchOn: the next block starts from cleared units.
    std::atomic<bool> mClearPending{false};
    long mUnitResets = 0;
    double mGainLeft = 0.5;
    double mGainRight = 0.5;
    double mPeak = 0.0;
    double mOutputGain = 0.0;
    int mChannels = 1;
    int mZeros = 0;
    int mRate = kReferenceRate;
    int mBlockCount = 0;
    int mCycleBlocks = kCycleBlocks;
    int mUpdateBlock[kChainLength] = {0, 5, 10, 15, 20, 25, 30, 35};
    // Sleeping: the writes to every setting that wakes the module (counted by the settings
    // themselves; the first block sees a change), the count last seen, blocks since it last
    // changed, and frames of silent input since the last look at the units.
    std::atomic<std::uint32_t> mSettingsWrites{1};
    std::uint32_t mSettingsSerial = 0;
    int mSteadyBlocks = 0;
    int mSilentFrames = 0;
    bool mAsleep = false;
    // Units at the start of the chain asleep while the ones behind them still sound (on a
    // silent input; any sound or setting wakes them all).
    bool mUnitAsleep[kChainLength] = {};
    bool mUnitsAsleep = false;
    // Frames each unit slept through since it last idled: a sleeping unit (in a dozing module or
    // at the start of a chain) idles once a cycle, before its update, and when the module wakes
    // or changes.
    int mSleptFrames[kChainLength] = {};
    bool mUnitsIdle = true; // no frames wait

    bool mSleepAllowed = true;
    long mSleptBlocks = 0;
    long mPartlySleptBlocks = 0;
    inline static std::atomic<bool> sSleepAllowed{true};
    std::string mName = "KV Effects";
    double mBuffer[kBufferSize] = {};
};
