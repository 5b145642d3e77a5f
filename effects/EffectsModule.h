// The effects module as the rack sees it: a slot of type 3 that accepts input connections and
// embeds the effects engine. It ignores notes and controllers; it sums the modules wired into
// it and runs the sum through its chain.
#pragma once

#include "core/Slot.h"
#include "effects/Effects.h"

#include <string>

class tEffectsModule : public tSlot {
public:
    tEffectsModule(int x, int y);

    tEffects& Engine() { return mEngine; }
    const tEffects& Engine() const { return mEngine; }

    // On also clears "all effects off", off sets it.
    void SwitchOn() override;
    void SwitchOff() override;

    // Reads the text; the caption becomes name's last component without its extension, the
    // title "KV Effects   (name without its extension)".
    void ReadPatch(const char* name, std::istream& in) override;
    void WritePatch(std::ostream& out) override;
    const char* PatchExtension() const override { return ".efx"; }
    std::string Title() const override { return mEngine.Name(); }

    void AllNotesOff() override {}
    void Controller(int /*channel*/, int /*number*/, int /*value*/) override {}
    void NoteOff(int /*key*/) override {}
    void NoteOn(int /*key*/, int /*velocity*/) override {}
    void SetPan(int value) override { mEngine.SetPan(value); }
    void SetChannels(int n) override { mEngine.SetChannels(n); }
    // Audio off: the units size their delay memories for the rate.
    void SetSampleRate(int rate) override {
        tSlot::SetSampleRate(rate);
        mEngine.SetSampleRate(rate);
    }
    void Prepare() override { mEngine.Prepare(); }
    void Render(int frames) override;
    double* Output() override { return mEngine.Buffer(); }
    bool IsActive() override { return mEngine.IsActive(); }
    // A sleeping unit's block is silence; a unit switched on checks its own output.
    bool OutputSilent() override { return mEngine.On() && mEngine.Asleep(); }
    bool OutputChecked() override { return mEngine.On(); }
    int InputZeros() override { return mEngine.Zeros(); }
    void Pull(int frames) override;

    // "KV Effects   (text)".
    static std::string TitleFor(const std::string& text);

protected:
    // Patch files title the window with the file name alone.
    void NamedAfterFile(const std::string& path) override;

private:
    tEffects mEngine;
};
