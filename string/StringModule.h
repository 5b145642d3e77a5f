// The string synthesizer as a rack module: the slot the rack, the rack file and the GUI see,
// with the string engine inside.
#pragma once

#include "core/Slot.h"
#include "string/StringSynth.h"

#include <string>

class tStringModule : public tSlot {
public:
    // Starts switched off, on MIDI channel 1, with the default patch and 8 voices.
    tStringModule(int x, int y);
    ~tStringModule() override;

    tStringSynth& Engine() { return mEngine; }
    tStringControls& Controls() { return mEngine.Controls(); }

    int GetPolyphony() override { return mEngine.GetPolyphony(); }
    void SetPolyphony(int voices) override { mEngine.SetPolyphony(voices); }
    void SwitchOn() override;
    void SwitchOff() override;
    void SetChannel(int channel) override;

    void ReadPatch(const char* name, std::istream& in) override;
    void WritePatch(std::ostream& out) override;
    const char* PatchExtension() const override { return ".pst"; }
    std::string Title() const override { return mEngine.Title(); }

    void AllNotesOff() override { mEngine.ResetVoices(); }
    void Controller(int channel, int number, int value) override;
    void NoteOff(int key) override { mEngine.NoteOff(key); }
    void NoteOn(int key, int velocity) override { mEngine.NoteOn(key, velocity); }
    void SetPan(int /*value*/) override {}
    void SetChannels(int n) override { mEngine.SetChannels(n); }
    void SetSampleRate(int rate) override;
    void Prepare() override {}
    void Render(int frames) override;
    double* Output() override { return mEngine.Output(); }
    bool IsActive() override { return mEngine.IsActive(); }
    void SetBudget(tWorkBudget& budget) override {
        tSlot::SetBudget(budget);
        mEngine.UseBudget(&budget);
    }
    std::uint64_t WaitingNote() const override { return mEngine.WaitingNote(); }
    bool PrepareWaitingNote() override { return mEngine.PrepareWaitingNote(); }

protected:
    void NamedAfterFile(const std::string& path) override;

private:
    tStringSynth mEngine;
};
