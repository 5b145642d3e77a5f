// The string synthesizer engine: a pool of 24 string voices played by MIDI notes.
//
// The engine keeps no sound parameters of its own: it reads its controls when a note starts
// and, for volume, resonance and output cutoff, at the start of every block. Notes,
// controllers and rendering all run on the rendering thread (the rack delivers events at
// block start), so the voices need no locks. Note starts draw on a budget per block: a module
// in a rack shares the rack's with every other module, and the rack prepares the waiting notes
// of all of them, oldest first, at the start of each block; a module on its own has a budget
// of its own and prepares a note as it is struck. The long part of a note's start (clearing
// the string, the burst, the pre-roll) waits for the notes struck before it; a note that does
// not fit stays silent and is prepared further in the next blocks.
#pragma once

#include "core/WorkBudget.h"
#include "string/StringControls.h"
#include "string/StringPatch.h"

#include <iosfwd>
#include <memory>
#include <string>

class tStringVoice;

class tStringSynth {
public:
    static constexpr int kVoiceSlots = 24;
    static constexpr int kBufferSize = 1024;
    // Work a module on its own may do per frame of a block at 44100 Hz for the preparation of
    // struck notes (clearing the string, the burst, the pre-roll), in units of about one loop
    // sample (see tWorkBudget). A note whose preparation does not fit stays silent and goes on
    // preparing in the next blocks.
    static constexpr int kPrepareUnitsPerFrame = 768;
    // What a note on costs besides its preparation (choosing and freeing a voice, setting it
    // up from the controls), in the same units.
    static constexpr int kNoteOnUnits = 128;

    // Voices that a stolen or silenced note hands its sound to, so that it fades out over
    // kFadeSeconds instead of stopping dead.
    static constexpr int kFadeVoices = 8;
    static constexpr double kFadeSeconds = 0.003;

    // One entry of the voice pool.
    struct tVoiceSlot {
        tStringVoice* voice = nullptr;
        int key = -1; // -1: no key holds this voice (free or releasing)
        int sustained = 0;
        int age = 0;      // when its note started
        int released = 0; // when its release began (key -1 and busy: releasing)
    };

    tStringSynth();
    virtual ~tStringSynth();
    tStringSynth(const tStringSynth&) = delete;
    tStringSynth& operator=(const tStringSynth&) = delete;

    tStringControls& Controls() { return mControls; }
    const tStringControls& Controls() const { return mControls; }

    // --- voice count ---------------------------------------------------------------------
    // Voices taking part in allocation and rendering, as "# of voices" shows it.
    int GetPolyphony() const { return mControls.VoiceCount(); }
    void SetPolyphony(int n) { mControls.SelectVoiceCount(n); }

    // --- module state --------------------------------------------------------------------
    void SwitchOn();
    void SwitchOff();
    bool IsOn() const { return mOn != 0; }
    // channel 1..16: shown by "midi channel"; silences every voice.
    void SetChannel(int channel);
    int MidiChannel() const { return mMidiChannel; }
    void SetChannels(int n);
    int Channels() const { return mChannels; }
    // Every voice runs at rate from now on (audio off: the voices may reallocate); all of them
    // fall silent.
    void SetSampleRate(int rate);
    int SampleRate() const { return mRate; }
    // Every voice idle and free, fades ended, ages restarted, controllers back to rest
    // ("StopSounds").
    void ResetVoices();
    // Notes start on the rack's budget from now on (null: the module's own again); the rack
    // then prepares them through the two calls below.
    void UseBudget(tWorkBudget* budget);
    // The ticket of the oldest note waiting for its preparation (tWorkBudget::kNoTicket: none).
    std::uint64_t WaitingNote() const;
    // Prepares that note as far as the budget allows; true when it is done.
    bool PrepareWaitingNote();

    // --- events --------------------------------------------------------------------------
    void NoteOn(int key, int velocity);
    void NoteOff(int key);
    // number -1 is pitch bend (value 0..16383, 8192 centre). Ignored unless channel matches.
    void Controller(int channel, int number, int value);

    // --- sound ---------------------------------------------------------------------------
    // frames x Channels() values into the output buffer (frames is limited to what it holds).
    void Render(int frames);
    double* Output() { return mOutput; }
    // On, and at least one voice sounded in the last block.
    bool IsActive() const { return mOn != 0 && mHasSound != 0; }
    // Whether voices whose sound has decayed below tStringVoice::kSleepLevel stop computing
    // (on unless switched off; for every engine of the process; voices asleep stay so). Their
    // notes keep their voices until they would have ended; a module whose voices all sleep
    // renders nothing.
    static void SetSleeping(bool on);
    static bool Sleeping();

    // --- patches -------------------------------------------------------------------------
    // Reads a patch text into the record and the controls; the window title takes name with
    // its directories and last extension removed (a null name keeps the title).
    void ReadPatch(const char* name, std::istream& in);
    void WritePatch(std::ostream& out);
    // The editor window's title: "KV String Synthesizer" or "KV String Synthesizer   (name)".
    const std::string& Title() const { return mTitle; }
    void SetTitleName(const std::string& name);

    // --- inspection ----------------------------------------------------------------------
    const tVoiceSlot& Slot(int i) const { return mSlots[i]; }
    // Voices still fading out.
    int Fading() const;
    double VolumeScale() const { return mVolumeScale; }
    double BendFactor() const { return mBendFactor; }

private:
    void ResetControllers();
    void ReleaseSustain(int count);
    void StartNote(tVoiceSlot& slot, int key, int velocity);
    // The voice a new note takes when none is free: the one whose release began first, else
    // the oldest held note.
    tVoiceSlot* Victim(int count);
    // Frees the slot now: a sounding voice fades out on a fade voice, the slot keeps a silent
    // one.
    void Silence(tVoiceSlot& slot);
    void Release(tVoiceSlot& slot);
    // Mixes the fading voices into the output; false when none wrote. busy: whether a fade
    // voice was still sounding (asleep or not).
    bool RenderFades(int frames, bool first, bool& busy);
    // The largest volume the "volume" law gives (the slider at its top, mute off, controller
    // 7 at full), before a note's corrections.
    double LoudestVolume() const;
    // Prepares the queued voices in the order their notes came, within this block's budget.
    void PrepareVoices();
    void Unqueue(const tStringVoice* voice);
    // Busy: sounding or preparing.
    static bool IsBusy(const tVoiceSlot& slot);
    // The voice volume by the "volume" law with "mute" and the controller-7 scale.
    double VoiceVolume() const;

    tStringControls mControls;
    tStringPatch mPatch;
    std::string mTitle;
    std::unique_ptr<tStringVoice[]> mVoices;
    std::unique_ptr<tStringVoice[]> mSpareVoices; // kFadeVoices more
    tVoiceSlot mSlots[kVoiceSlots];
    struct tFade {
        tStringVoice* voice = nullptr;
        int left = 0; // samples until silence; 0: free
    };
    tFade mFades[kFadeVoices];
    int mFadeLength = 132;
    double mFadeBuffer[kBufferSize] = {};
    int mChannels = 1;
    int mRate = 44100;
    int mOn = 0;
    int mHasSound = 0;
    int mMidiChannel = 0;
    int mAgeCounter = 0;
    double mVolumeScale = 1.0;
    double mBendFactor = 1.0;
    double mOutput[kBufferSize] = {};
    // Voices whose notes are still being prepared, oldest first, with their tickets, and the
    // budget they are prepared on.
    tStringVoice* mPreparing[kVoiceSlots] = {};
    std::uint64_t mTickets[kVoiceSlots] = {};
    int mPreparingCount = 0;
    tWorkBudget mOwnBudget{kPrepareUnitsPerFrame};
    tWorkBudget* mBudget = &mOwnBudget;
    // Voices from here on are known silent and free (the voice count at the last block).
    int mSilentFrom = kVoiceSlots;
    // No voice sounds, prepares or fades: a voice only starts to through a note's start.
    bool mAllIdle = true;
};
