// A module in the rack, as the rack, the rack file and the MIDI fan-out see it.
//
// The string synthesizer, the flute synthesizer and the effects unit implement this
// interface. The toolkit side of a module (its icon, file dialogs, editor window) lives in the
// GUI layer and drives the module through these operations.
//
// Threads: structural fields (inputs, outputs) change only under the rack's lock. Note,
// controller and render operations of a slot that is in a rack run only while the rack's lock
// is held (the rack delivers queued events at the start of a block); code outside the rack
// that touches an inserted slot's engine state takes a tRack::tGuard first.
#pragma once

#include "core/WorkBudget.h"
#include "dsp/SampleRate.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

enum tModuleType { kStringModule = 1, kFluteModule = 2, kEffectsModule = 3 };

class tSlot {
public:
    // type: 1 string, 2 flute, 3 effects. (x, y): icon position in window coordinates.
    tSlot(int type, int x, int y, bool acceptsInput);
    virtual ~tSlot();

    tSlot(const tSlot&) = delete;
    tSlot& operator=(const tSlot&) = delete;

    // --- identity and placement --------------------------------------------------------
    int Id() const { return mId; }
    int Type() const { return mType; }
    bool AcceptsInput() const { return mAcceptsInput; }
    const std::string& Caption() const { return mCaption; }
    void SetCaption(const std::string& caption) { mCaption = caption; }
    int X() const { return mX; }
    int Y() const { return mY; }
    void Move(int x, int y) {
        mX = x;
        mY = y;
    }
    bool IsOn() const { return mOn != 0; }

    // The process-wide id counter: each new slot takes the next value (ids start at 1).
    static int IdCounter();
    static void ResetIdCounter();

    // --- graph (changed by tRack only) ------------------------------------------------
    const std::vector<tSlot*>& Inputs() const { return mInputs; }
    const std::vector<tSlot*>& Outputs() const { return mOutputs; }
    // Set when the slot has computed the current block; cleared by the rack per block.
    bool rendered = false;

    // --- module operations -------------------------------------------------------------
    virtual int GetPolyphony() { return 1; }
    virtual void SetPolyphony(int /*voices*/) {}
    // caption := the file name of path without directories and without its last extension;
    // a null path keeps the caption.
    virtual void SetName(const char* path);
    // Derived classes switch their engine and then call the base step.
    virtual void SwitchOn() { mOn = 1; }
    virtual void SwitchOff() { mOn = 0; }
    // channel 1..16; derived classes also tell their engine.
    virtual void SetChannel(int channel) { mChannel = channel - 1; }
    int GetChannel() const { return mChannel; }

    // Patch text on streams (rack files, presets, patch files). ReadPatch also sets the
    // caption from name by the SetName rule and the window title.
    virtual void ReadPatch(const char* name, std::istream& in) = 0;
    virtual void WritePatch(std::ostream& out) = 0;
    // Patch files: the module's extension (".pst", ".flt", ".efx") and the engine side of the
    // load and save dialogs.
    virtual const char* PatchExtension() const = 0;
    // Reads a patch file: only a regular file of at most kMaxPatchFileSize bytes is read
    // (anything else is refused and the module left as it was); then ReadPatch, and the
    // caption and title from the file name. False with a message for the user in error.
    bool LoadPatchFile(const std::string& path, std::string& error);
    // The two halves of LoadPatchFile, so that the file is read before a caller takes the
    // rack's lock for the module: ReadPatchFile reads and checks the file (no module state is
    // touched), ApplyPatchText reads the text into the module and names it after the file.
    static bool ReadPatchFile(const std::string& path, std::string& text, std::string& error);
    void ApplyPatchText(const std::string& path, const std::string& text);
    // Writes the patch to path with the module's extension forced onto it, through a
    // temporary file renamed over the target, so a failed save leaves the old file as it
    // was. Then the caption and title follow the file name. False with a message in error.
    bool SavePatchFile(const std::string& path, std::string& error);
    // The same, printing the message on standard error.
    bool LoadPatchFile(const std::string& path);
    bool SavePatchFile(const std::string& path);
    // The editor window's title ("KV String Synthesizer   (harp)" ...).
    virtual std::string Title() const = 0;

    virtual void AllNotesOff() = 0;
    virtual void Controller(int channel, int number, int value) = 0;
    virtual void NoteOff(int key) = 0;
    virtual void NoteOn(int key, int velocity) = 0;
    virtual void SetPan(int value) = 0;
    virtual void SetChannels(int n) = 0;
    // The sample rate the module renders at (44100 until set). Set only while no block
    // renders (audio off), before Prepare: a module may reallocate its lines for the rate.
    virtual void SetSampleRate(int rate) { mSampleRate = rate; }
    int SampleRate() const { return mSampleRate; }
    virtual void Prepare() = 0;
    virtual void Render(int frames) = 0;
    virtual double* Output() = 0;
    virtual bool IsActive() = 0;
    // Whether the block last rendered is known to be silence without looking at it: the
    // module had nothing to play or slept. Such a block is neither checked nor mixed.
    virtual bool OutputSilent() { return false; }
    // Whether the module's own render has already made its block finite (replacing a
    // non-finite block by silence and counting it with BlockSilenced): the rack does not
    // look again.
    virtual bool OutputChecked() { return false; }
    // Values at the start of the buffer PullInputs fills that are still +0 from the last
    // block (the module left them so): silent inputs need not zero them again.
    virtual int InputZeros() { return 0; }
    // Instruments: nothing. Effects units: PullInputs on their own buffer.
    virtual void Pull(int /*frames*/) {}
    // Clears every state of the module's signal processing (voices, lines, filters, units)
    // as a fresh module has it; the sound parameters stay. The rack calls it on the
    // rendering thread for a module whose block was not finite.
    virtual void Reset() {
        AllNotesOff();
        Prepare();
    }

    // Blocks this module rendered with a non-finite value (replaced by silence).
    unsigned SilencedBlocks() const { return mSilencedBlocks; }

    // --- the budget for starting notes ------------------------------------------------
    // The rack shares its budget with every slot it takes in; a slot on its own has one of
    // its own. Modules take what starting a note costs from it.
    virtual void SetBudget(tWorkBudget& budget) { mBudget = &budget; }
    tWorkBudget& Budget() { return *mBudget; }
    // A module whose notes wait for their preparation: the ticket of the oldest
    // (tWorkBudget::kNoTicket when none waits), and that note prepared as far as the budget
    // allows (true when it is done). The rack calls them at the start of a block.
    virtual std::uint64_t WaitingNote() const { return tWorkBudget::kNoTicket; }
    virtual bool PrepareWaitingNote() { return true; }

protected:
    // The module's patch file was read or written under path: caption and window title
    // follow the file's name.
    virtual void NamedAfterFile(const std::string& path) { SetName(path.c_str()); }

    // Checks the n values of Output() after a Render: a block holding a non-finite value
    // becomes silence and the module is Reset. Returns false when that happened.
    bool KeepFinite(int n);
    // A module that checks its own output counts each block it silenced.
    void BlockSilenced() {
        ++mSilencedBlocks;
        ++mUncountedSilences;
    }

    // The effects-unit pull step: unless this slot has already been rendered in this block,
    // gather the active inputs (pulling them first) into buffer (n = frames x channels values)
    // and Render(frames). With no inputs at all the buffer is zeroed, the slot marked rendered
    // and nothing is processed.
    void PullInputs(int frames, double* buffer, int n);
    // Whether the last PullInputs found no input with sound: the buffer it filled is zeros.
    bool InputsSilent() const { return mInputsSilent; }

private:
    friend class tRack;

    int mType;
    int mId;
    int mX;
    int mY;
    bool mAcceptsInput;
    int mChannel = 0;
    int mOn = 0;
    int mSampleRate = kReferenceRate;
    std::string mCaption;
    std::vector<tSlot*> mInputs;
    std::vector<tSlot*> mOutputs;
    bool mInputsSilent = false;
    unsigned mSilencedBlocks = 0;    // rendering thread
    unsigned mUncountedSilences = 0; // not yet added to the rack's count
    tWorkBudget mOwnBudget;
    tWorkBudget* mBudget = &mOwnBudget;
};

// Largest patch text a patch file may hold; a patch is a few kilobytes.
constexpr std::size_t kMaxPatchFileSize = 64 * 1024;
