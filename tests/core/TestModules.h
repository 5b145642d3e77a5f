// Small modules for exercising the rack: an instrument that plays a constant level and an
// effects unit that scales what it is fed. Both count what reaches them and notice when two
// threads are inside them at once.
#pragma once

#include "core/Slot.h"

#include <algorithm>
#include <atomic>
#include <istream>
#include <ostream>
#include <string>

// Raises a flag for the duration of a module operation; finding it already raised means two
// threads were inside the module at the same time.
class tReentryCheck {
public:
    explicit tReentryCheck(std::atomic<bool>& busy, std::atomic<int>& overlaps) : mBusy(busy) {
        if (mBusy.exchange(true)) overlaps.fetch_add(1);
    }
    ~tReentryCheck() { mBusy.store(false); }

private:
    std::atomic<bool>& mBusy;
};

class tTestModule : public tSlot {
public:
    static constexpr int kBufferSize = 1024;

    tTestModule(int type, int x, int y, bool acceptsInput) : tSlot(type, x, y, acceptsInput) {}

    void ReadPatch(const char* name, std::istream& in) override {
        SetName(name);
        in >> patchValue;
    }
    void WritePatch(std::ostream& out) override { out << patchValue << '\n'; }
    const char* PatchExtension() const override { return ".tst"; }
    std::string Title() const override { return "Test " + Caption(); }

    void AllNotesOff() override {
        tReentryCheck check(busy, overlaps);
        ++allNotesOffs;
        ++events;
        held = 0;
    }
    void Controller(int, int number, int value) override {
        tReentryCheck check(busy, overlaps);
        ++controllers;
        ++events;
        lastController = number;
        lastControllerValue = value;
    }
    void NoteOff(int key) override {
        tReentryCheck check(busy, overlaps);
        ++noteOffs;
        ++events;
        lastKey = key;
        if (held > 0) --held;
    }
    void NoteOn(int key, int velocity) override {
        tReentryCheck check(busy, overlaps);
        ++noteOns;
        ++events;
        lastKey = key;
        lastVelocity = velocity;
        ++held;
    }
    void SetPan(int value) override {
        tReentryCheck check(busy, overlaps);
        ++pans;
        ++events;
        lastPan = value;
    }
    void SetChannels(int n) override { channels = n; }
    void Prepare() override { ++prepares; }
    double* Output() override { return buffer; }
    bool IsActive() override { return IsOn(); }

    double patchValue = 0.0;
    int channels = 0;
    int prepares = 0;
    int renders = 0;
    int allNotesOffs = 0, controllers = 0, noteOffs = 0, noteOns = 0, pans = 0;
    long events = 0;
    int held = 0;
    int lastKey = -1, lastVelocity = -1, lastPan = -1;
    int lastController = 0, lastControllerValue = 0;
    double buffer[kBufferSize] = {};

    // Shared by every test module: two threads found inside one module at once.
    static inline std::atomic<int> overlaps{0};

protected:
    std::atomic<bool> busy{false};
};

// Plays level on every channel while switched on.
class tTestInstrument : public tTestModule {
public:
    explicit tTestInstrument(double level, int x = 50, int y = 45)
        : tTestModule(kStringModule, x, y, false), level(level) {
        SwitchOff();
    }
    void Render(int frames) override {
        tReentryCheck check(busy, overlaps);
        const int n = std::min(frames * channels, kBufferSize);
        std::fill(buffer, buffer + n, IsOn() ? level : 0.0);
        ++renders;
        rendered = true;
    }
    double level;
};

// Multiplies the sum of its active inputs by gain.
class tTestEffect : public tTestModule {
public:
    explicit tTestEffect(double gain, int x = 160, int y = 45)
        : tTestModule(kEffectsModule, x, y, true), gain(gain) {
        SwitchOff();
    }
    void Pull(int frames) override { PullInputs(frames, buffer, frames * channels); }
    void Render(int frames) override {
        tReentryCheck check(busy, overlaps);
        const int n = std::min(frames * channels, kBufferSize);
        for (int i = 0; i < n; ++i) buffer[i] *= gain;
        ++renders;
        rendered = true;
    }
    double gain;
};
