// The flute synthesizer module: one MIDI channel played monophonically on two voices used
// alternately, so that a new note starts on a fresh voice while the previous one fades out.
// A voice is never cut while it fades: when a note needs the other voice while that one is
// still in its release (notes a few milliseconds apart, chords), the rest of the release is
// rendered at once into a short tail that plays out over the next blocks, and the voice takes
// the new note without delay.
//
// The controls are the sound parameters: every note start copies all of them into the new
// voice, every block copies the continuously playable ones into the sounding voice, and MIDI
// controllers move them. Note and controller events reach the module on the rendering thread
// at the start of a block (the rack queues them), so a voice is never set up while it renders.
#pragma once

#include "core/Slot.h"
#include "dsp/SampleRate.h"
#include "flute/FluteControls.h"
#include "flute/FlutePatch.h"
#include "flute/FluteVoice.h"

#include <atomic>
#include <string>

class tFluteSynth : public tSlot {
public:
    static constexpr int kOutputSize = 1024; // doubles: frames x channels
    static constexpr const char* kTitle = "KV Flute Synthesizer";
    // What a note on takes from the rack's budget (tWorkBudget units): setting a voice up,
    // and each sample of a fading note rendered ahead into the tail.
    static constexpr int kNoteOnUnits = 32;
    static constexpr int kTailSampleUnits = 2;

    tFluteSynth(int x, int y);
    ~tFluteSynth() override;

    // --- tSlot -------------------------------------------------------------------------
    void SwitchOn() override;
    void SwitchOff() override;
    void SetChannel(int channel) override;

    void ReadPatch(const char* name, std::istream& in) override;
    void WritePatch(std::ostream& out) override;
    const char* PatchExtension() const override { return ".flt"; }
    std::string Title() const override { return mTitle; }

    void AllNotesOff() override;
    void Controller(int channel, int number, int value) override;
    void NoteOff(int key) override;
    void NoteOn(int key, int velocity) override;
    void SetPan(int /*value*/) override {}
    void SetChannels(int n) override;
    // Audio off: both voices take the rate (their delay lines are reallocated for it).
    void SetSampleRate(int rate) override;
    void Prepare() override {}
    void Render(int frames) override;
    double* Output() override { return mOutput; }
    bool IsActive() override { return IsOn() && mActive; }
    // Silences both voices and clears their lines and filters.
    void Reset() override;

    // --- the module's own ------------------------------------------------------------------
    tFluteControls& Controls() { return mControls; }
    const tFluteControls& Controls() const { return mControls; }
    // The window's patch mirror.
    const tFlutePatch& Patch() const { return mPatch; }

    // Velocity factor of a MIDI velocity: 0 at 0, 1 at 127, exponential in between.
    static double VelocityFactor(int velocity);

    // With nothing to play (no voice sounding, no tail) a module sleeps: its block is a check
    // and the zeros its output already holds. Sleeping is allowed unless turned off (to
    // compare renders with and without it); a note wakes the module at its next block.
    static void AllowSleep(bool allow) { sSleepAllowed.store(allow, std::memory_order_relaxed); }
    static bool SleepAllowed() { return sSleepAllowed.load(std::memory_order_relaxed); }
    // Whether the last block was slept through.
    bool Asleep() const { return mAsleep; }

    int Channels() const { return mChannels; }
    int HeldKey() const { return mHeldKey; }
    // Samples of released notes still to be played from the tail.
    int TailLeft() const { return mTailLength; }
    int CurrentVoice() const { return mCurrent; }
    const tFluteVoice& Voice(int index) const { return mVoices[index]; }
    double VolumeFactor() const { return mVolumeFactor; }
    double BendFactor() const { return mBendFactor; }

protected:
    void NamedAfterFile(const std::string& path) override;

private:
    void ResetControllers();
    void SilenceVoices();
    // The held note ends: the current voice is released.
    void ReleaseHeld();
    // n frames of a voice added into the output.
    void AddVoice(tFluteVoice& voice, int n);
    // The rest of a voice's release rendered into the tail; the voice is then free.
    void FinishIntoTail(tFluteVoice& voice);
    // The parameters a note takes, in the order the voice expects them.
    void StartNote(tFluteVoice& voice, int key, double velocity);
    // The parameters a sounding note follows block by block.
    void ApplyLiveParameters(tFluteVoice& voice, int frames);
    double Level() const;
    void Retitle(const std::string& shown);

    tFluteVoice mVoices[2];
    int mCurrent = 0;
    tFluteControls mControls;
    tFlutePatch mPatch;
    std::string mTitle = kTitle;
    int mChannels = 1;
    int mHeldKey = -1;
    bool mActive = false;
    double mVolumeFactor = 1.0;
    double mBendFactor = 1.0;
    // Released notes rendered ahead: mTail[i] is added to the i-th frame to come. It holds
    // the longest release, at the highest rate, with room to spare.
    static constexpr int kTailSize = 1024;
    static_assert(tFluteVoice::kReleaseLength * kMaxSampleRate / kReferenceRate + 1 <= kTailSize);
    double mTail[kTailSize] = {};
    int mTailLength = 0;
    double mOutput[kOutputSize] = {};
    // Values at the front of the output known to be zero.
    int mZeroed = kOutputSize;
    bool mAsleep = false;
    static inline std::atomic<bool> sSleepAllowed{true};
    double mScratch[kOutputSize] = {};
};
