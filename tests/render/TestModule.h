// A small module for the rack tests: it keeps its patch text as a list of numbers, records the
// events it receives and renders a constant level while switched on.
#pragma once

#include "core/Path.h"
#include "core/Slot.h"

#include <istream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

class tTestModule : public tSlot {
public:
    tTestModule(int type, int x, int y) : tSlot(type, x, y, type == kEffectsModule) { SwitchOff(); }

    int GetPolyphony() override { return mPolyphony; }
    void SetPolyphony(int voices) override { mPolyphony = voices; }

    void ReadPatch(const char* name, std::istream& in) override {
        SetName(name);
        mTitle = std::string("Test   (") + BaseName(name) + ")";
        mPatch.clear();
        std::string token;
        while (in >> token) mPatch.push_back(token);
    }
    void WritePatch(std::ostream& out) override {
        for (std::size_t i = 0; i < mPatch.size(); ++i) out << (i ? " " : "") << mPatch[i];
        out << '\n';
    }
    const char* PatchExtension() const override { return ".tst"; }
    std::string Title() const override { return mTitle; }

    void AllNotesOff() override { events.push_back("off-all"); }
    void Controller(int channel, int number, int value) override {
        events.push_back("ctl " + std::to_string(channel) + " " + std::to_string(number) + " " +
                         std::to_string(value));
    }
    void NoteOff(int key) override { events.push_back("off " + std::to_string(key)); }
    void NoteOn(int key, int velocity) override {
        events.push_back("on " + std::to_string(key) + " " + std::to_string(velocity));
    }
    void SetPan(int value) override { events.push_back("pan " + std::to_string(value)); }
    void SetChannels(int n) override { mChannels = n; }
    void Prepare() override {}
    void Render(int frames) override {
        for (int i = 0; i < frames * mChannels; ++i) mBuffer[i] = IsOn() ? 0.25 : 0.0;
        rendered = true;
    }
    double* Output() override { return mBuffer; }
    bool IsActive() override { return IsOn(); }
    void Pull(int frames) override {
        if (AcceptsInput()) PullInputs(frames, mBuffer, frames * mChannels);
    }

    // The patch numbers as read (the first is the version the text started with).
    const std::vector<std::string>& Patch() const { return mPatch; }
    void SetPatch(std::vector<std::string> patch) { mPatch = std::move(patch); }
    std::vector<std::string> events;

private:
    int mPolyphony = 8;
    int mChannels = 1;
    std::string mTitle = "Test";
    std::vector<std::string> mPatch{"7"};
    double mBuffer[1024] = {};
};
