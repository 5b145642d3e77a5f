#include "plugins/lv2/PluginRig.h"

#include "catalog/ModuleFactory.h"
#include "effects/EffectsModule.h"
#include "effects/EffectsParameters.h"
#include "flute/FluteParameters.h"
#include "flute/FluteSynth.h"
#include "plugins/lv2/HostInput.h"
#include "plugins/lv2/Uris.h"
#include "string/StringModule.h"
#include "string/StringParameters.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sstream>

namespace {

// The plugin's effects unit is always heard: switched off ("all effects off") it passes what
// feeds it through unchanged, where the program's rack would leave an unconnected sink out.
class tPluginEffects final : public tEffectsModule {
public:
    tPluginEffects() : tEffectsModule(160, 45) {}
    bool IsActive() override { return true; }
};

// Modules take their ids from one counter: instances are built one at a time.
std::mutex gBuildLock;

} // namespace

const std::vector<tPluginInfo>& PluginInfos() {
    static const std::vector<tPluginInfo> infos = {
        {tPluginKind::kString, kStringUri, "Kelvora String", "string", true},
        {tPluginKind::kFlute, kFluteUri, "Kelvora Flute", "flute", true},
        {tPluginKind::kEffects, kEffectsUri, "Kelvora Effects", "effects", false},
    };
    return infos;
}

const tPluginInfo* FindPlugin(const char* uri) {
    for (const tPluginInfo& info : PluginInfos())
        if (std::strcmp(info.uri, uri) == 0) return &info;
    return nullptr;
}

tPluginRig::tPluginRig(tPluginKind kind, int rate)
    : mKind(kind), mRate(rate), mIn(2 * kMaxFrames), mOut(2 * kMaxFrames) {
    mEvents.resize(kMaxEvents);
    const std::lock_guard<std::mutex> build(gBuildLock);
    mRack.SetSampleRate(rate);
    mRack.SetChannels(2);
    // Every draw of the modules' noise, from their construction on, comes from the rack's
    // generator: an instance sounds as the renderer's rack does, whatever else runs.
    const tRandomScope noise(mRack.Random());
    mEffects = new tPluginEffects();
    mRack.Insert(mEffects);
    tSlot* source = nullptr;
    if (kind == tPluginKind::kEffects) {
        mInput = new tHostInput();
        source = mInput;
    } else {
        mInstrument =
            CreateModule(kind == tPluginKind::kString ? kStringModule : kFluteModule, 50, 45)
                .release();
        source = mInstrument;
    }
    mRack.Connect(source, mEffects);
    mRack.Insert(source);

    if (kind == tPluginKind::kString)
        mParameters = StringParameters(static_cast<tStringModule*>(mInstrument)->Controls());
    else if (kind == tPluginKind::kFlute)
        mParameters = FluteParameters(static_cast<tFluteSynth*>(mInstrument)->Controls());
    mInstrumentParameters = static_cast<int>(mParameters.size());
    for (const tParameter& parameter : EffectsParameters(mEffects->Engine().Controls()))
        mParameters.push_back(parameter);

    if (mInstrument != nullptr) mInstrument->SwitchOn();
    mEffects->SwitchOn();
    mEngine.Prepare(rate, 2);
    TakeControlsAsSeen();
}

void tPluginRig::Activate() {
    const tRandomScope noise(mRack.Random());
    mEngine.Prepare(mRate, 2);
}

float tPluginRig::PortValue(int parameter) const {
    const bool on = mInstrument != nullptr && mInstrument->IsOn();
    return static_cast<float>(mParameters[parameter].Value(on));
}

void tPluginRig::TakeControlsAsSeen() {
    mSeen.resize(mParameters.size());
    for (std::size_t i = 0; i < mParameters.size(); ++i) mSeen[i] = PortValue(static_cast<int>(i));
}

void tPluginRig::ApplyPort(int index, float value) {
    if (index < 0 || index >= static_cast<int>(mParameters.size())) return;
    if (value == mSeen[index] || value != value) return;
    mSeen[index] = value;
    const tParameter& parameter = mParameters[index];
    parameter.Write(value);
    switch (parameter.role) {
    case tParameterRole::kPlain:
        break;
    case tParameterRole::kOn:
        if (value > 0.0f && !mInstrument->IsOn())
            mInstrument->SwitchOn();
        else if (value <= 0.0f && mInstrument->IsOn())
            mInstrument->SwitchOff();
        break;
    case tParameterRole::kChannel: {
        tSlot* module = index < mInstrumentParameters ? mInstrument : mEffects;
        module->SetChannel(parameter.control->Index() + 1);
        break;
    }
    case tParameterRole::kBypass:
        if (parameter.control->IsOn() && mEffects->IsOn())
            mEffects->SwitchOff();
        else if (!parameter.control->IsOn() && !mEffects->IsOn())
            mEffects->SwitchOn();
        break;
    }
}

void tPluginRig::Process(const tEngineEvent* events, int count, const float* inLeft,
                         const float* inRight, float* outLeft, float* outRight, int frames) {
    const tRandomScope noise(mRack.Random());
    int next = 0;
    for (int done = 0; done < frames;) {
        const int n = std::min(kMaxFrames, frames - done);
        int due = 0;
        for (; next < count && events[next].frame < done + n && due < kMaxEvents; ++next) {
            mEvents[due] = events[next];
            mEvents[due].frame = std::max(0, events[next].frame - done);
            ++due;
        }
        if (mInput != nullptr) {
            for (int i = 0; i < n; ++i) {
                mIn[2 * i] = inLeft != nullptr ? inLeft[done + i] : 0.0;
                mIn[2 * i + 1] = inRight != nullptr ? inRight[done + i] : 0.0;
            }
            mInput->Feed(mIn.data(), n);
        }
        mEngine.Process(mEvents.data(), due, mOut.data(), n);
        for (int i = 0; i < n; ++i) {
            outLeft[done + i] = static_cast<float>(mOut[2 * i]);
            outRight[done + i] = static_cast<float>(mOut[2 * i + 1]);
        }
        done += n;
    }
}

std::string tPluginRig::InstrumentText() const {
    if (mInstrument == nullptr) return {};
    std::ostringstream out;
    mInstrument->WritePatch(out);
    return out.str();
}

std::string tPluginRig::EffectsText() const {
    std::ostringstream out;
    mEffects->WritePatch(out);
    return out.str();
}

void tPluginRig::ReadInstrumentText(const std::string& text) {
    if (mInstrument == nullptr) return;
    std::istringstream in(text);
    mInstrument->ReadPatch(nullptr, in);
}

void tPluginRig::ReadEffectsText(const std::string& text) {
    std::istringstream in(text);
    mEffects->ReadPatch(nullptr, in);
    // As a module made from a patch is when it joins a rack: its units start from rest with
    // the patch's settings (some take a setting over two updates).
    mEffects->Prepare();
}
