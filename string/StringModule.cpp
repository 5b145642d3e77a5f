#include "string/StringModule.h"

#include "core/Path.h"

tStringModule::tStringModule(int x, int y) : tSlot(kStringModule, x, y, false) {
    SetName("");
    SwitchOff();
}

tStringModule::~tStringModule() = default;

void tStringModule::SwitchOn() {
    mEngine.SwitchOn();
    tSlot::SwitchOn();
}

void tStringModule::SwitchOff() {
    mEngine.SwitchOff();
    tSlot::SwitchOff();
}

void tStringModule::SetChannel(int channel) {
    tSlot::SetChannel(channel);
    mEngine.SetChannel(channel);
}

void tStringModule::SetSampleRate(int rate) {
    tSlot::SetSampleRate(rate);
    mEngine.SetSampleRate(rate);
}

void tStringModule::ReadPatch(const char* name, std::istream& in) {
    SetName(name);
    mEngine.ReadPatch(name, in);
}

void tStringModule::WritePatch(std::ostream& out) {
    mEngine.WritePatch(out);
}

void tStringModule::NamedAfterFile(const std::string& path) {
    tSlot::NamedAfterFile(path);
    mEngine.SetTitleName(BaseName(path));
}

void tStringModule::Controller(int channel, int number, int value) {
    mEngine.Controller(channel, number, value);
}

void tStringModule::Render(int frames) {
    mEngine.Render(frames);
    rendered = true;
}
