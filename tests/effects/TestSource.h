// A source slot for the effects tests: it plays a constant, or noise, into its output.
#pragma once

#include "core/Slot.h"

#include "TestSignals.h"

class tTestSource : public tSlot {
public:
    // noiseLevel 0 plays value; otherwise noise of that level.
    explicit tTestSource(double value, double noiseLevel = 0.0)
        : tSlot(kStringModule, 50, 45, false), mValue(value), mNoiseLevel(noiseLevel) {}
    void ReadPatch(const char*, std::istream&) override {}
    void WritePatch(std::ostream&) override {}
    const char* PatchExtension() const override { return ".pst"; }
    std::string Title() const override { return "test"; }
    void AllNotesOff() override {}
    void Controller(int, int, int) override {}
    void NoteOff(int) override {}
    void NoteOn(int, int) override {}
    void SetPan(int) override {}
    void SetChannels(int n) override { mChannels = n; }
    void Prepare() override {}
    void Render(int frames) override {
        for (int i = 0; i < frames * mChannels; ++i)
            mOut[i] = mNoiseLevel != 0.0 ? mNoiseLevel * mNoise.next() : mValue;
        rendered = true;
    }
    double* Output() override { return mOut; }
    bool IsActive() override { return true; }

private:
    double mValue;
    double mNoiseLevel;
    tTestNoise mNoise;
    int mChannels = 1;
    double mOut[1024] = {};
};
