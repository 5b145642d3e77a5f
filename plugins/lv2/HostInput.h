// The effects plugin's source: a module that plays the host's input into the rack, piece by
// piece in the order the engine renders them.
#pragma once

#include "core/Slot.h"

class tHostInput final : public tSlot {
public:
    static constexpr int kBufferSize = 1024; // doubles: the rack's largest piece in stereo

    tHostInput();

    // The call's input, frames x 2 interleaved values, read from its start by the next pieces.
    void Feed(const double* interleaved, int frames);

    void ReadPatch(const char* /*name*/, std::istream& /*in*/) override {}
    void WritePatch(std::ostream& /*out*/) override {}
    const char* PatchExtension() const override { return ""; }
    std::string Title() const override { return "input"; }
    void AllNotesOff() override {}
    void Controller(int /*channel*/, int /*number*/, int /*value*/) override {}
    void NoteOff(int /*key*/) override {}
    void NoteOn(int /*key*/, int /*velocity*/) override {}
    void SetPan(int /*value*/) override {}
    void SetChannels(int n) override { mChannels = n == 1 ? 1 : 2; }
    void Prepare() override {}
    // The next frames of the call's input (silence past its end).
    void Render(int frames) override;
    double* Output() override { return mOutput; }
    bool IsActive() override { return true; }

private:
    const double* mInput = nullptr;
    int mFrames = 0;
    int mRead = 0;
    int mChannels = 2;
    double mOutput[kBufferSize] = {};
};
