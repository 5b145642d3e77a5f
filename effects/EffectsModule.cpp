#include "effects/EffectsModule.h"

#include "core/Path.h"
#include "effects/EffectsPatch.h"

#include <algorithm>
#include <sstream>

tEffectsModule::tEffectsModule(int x, int y) : tSlot(kEffectsModule, x, y, true) {
    SwitchOff();
}

std::string tEffectsModule::TitleFor(const std::string& text) {
    return "KV Effects   (" + text + ")";
}

void tEffectsModule::SwitchOn() {
    mEngine.SwitchOn();
    tSlot::SwitchOn();
}

void tEffectsModule::SwitchOff() {
    mEngine.SwitchOff();
    tSlot::SwitchOff();
}

void tEffectsModule::ReadPatch(const char* name, std::istream& in) {
    if (name != nullptr) SetName(name);
    ReadEffectsPatch(mEngine, in);
    if (name != nullptr) mEngine.SetName(TitleFor(WithoutExtension(name)));
}

void tEffectsModule::WritePatch(std::ostream& out) {
    WriteEffectsPatch(mEngine, out);
}

void tEffectsModule::NamedAfterFile(const std::string& path) {
    SetName(path.c_str());
    mEngine.SetName(TitleFor(BaseName(path)));
}

void tEffectsModule::Render(int frames) {
    const long resets = mEngine.UnitResets();
    mEngine.Render(frames, InputsSilent());
    if (mEngine.UnitResets() != resets) BlockSilenced();
    rendered = true;
}

void tEffectsModule::Pull(int frames) {
    const int n = std::clamp(frames * mEngine.Channels(), 0, tEffects::kBufferSize);
    PullInputs(frames, mEngine.Buffer(), n);
}
