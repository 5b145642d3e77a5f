#include "effects/EffectsModule.h"

#include "core/Path.h"
#include "core/TextFile.h"
#include "effects/EffectsPatch.h"

#include <algorithm>
#include <sstream>

namespace {
// name cut at the last dot of its last path component (directories kept).
std::string WithoutExtension(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot >= start) return name.substr(0, dot);
    return name;
}
} // namespace

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

void tEffectsModule::LoadPatchFile(const std::string& path) {
    std::string text;
    if (!ReadTextFile(path, text)) text.clear();
    std::istringstream in(text);
    ReadPatch(path.c_str(), in);
    mEngine.SetName(TitleFor(BaseName(path)));
}

bool tEffectsModule::SavePatchFile(const std::string& path) {
    std::ostringstream out;
    WritePatch(out);
    if (!WriteTextFile(path, out.str())) return false;
    SetName(path.c_str());
    mEngine.SetName(TitleFor(BaseName(path)));
    return true;
}

void tEffectsModule::Render(int frames) {
    mEngine.Render(frames);
    rendered = true;
}

void tEffectsModule::Pull(int frames) {
    const int n = std::clamp(frames * mEngine.Channels(), 0, tEffects::kBufferSize);
    PullInputs(frames, mEngine.Buffer(), n);
}
