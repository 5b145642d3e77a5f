// State: what an instance saves brings a fresh instance to the same sound, and a patch file's
// text passes through the state unchanged.
#include "Lv2Sound.h"

#include "effects/EffectsModule.h"
#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<tMidiAt> NotesAt(int block) {
    if (block == 2) return {NoteOn(5, 57), NoteOn(70, 64, 90)};
    if (block == 150) return {NoteOff(3, 57), NoteOff(3, 64)};
    return {};
}

std::vector<float> Play(tLv2Instance& plugin, const std::vector<float>& input) {
    std::vector<float> out;
    for (int block = 0; block < 300; ++block) {
        const std::vector<float> in = input.empty()
                                          ? std::vector<float>()
                                          : std::vector<float>(input.begin() + block * 256,
                                                               input.begin() + (block + 1) * 256);
        plugin.Run(128, NotesAt(block), out, in);
    }
    return out;
}

// A plucked tone for the effects plugin's input.
std::vector<float> Tone() {
    std::vector<float> x(300 * 256);
    for (std::size_t i = 0; i < x.size() / 2; ++i) {
        const float v = static_cast<float>(0.3 * std::sin(0.05 * i) * std::exp(-1e-4 * i));
        x[2 * i] = v;
        x[2 * i + 1] = -v;
    }
    return x;
}

// The texts an instance's state interface holds after restoring the given ones.
std::map<std::string, std::string> RoundTrip(tLv2Instance& plugin,
                                             const std::map<std::string, std::string>& texts) {
    struct tStore {
        tUridMap& urids;
        std::map<std::string, std::string> texts;
    } store{tLv2World::Get().Urids(), texts};
    const LV2_State_Interface* state = plugin.StateInterface();
    state->restore(
        plugin.Instance()->lv2_handle,
        [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
            auto* s = static_cast<tStore*>(handle);
            auto it = s->texts.find(s->urids.Unmap(key));
            if (it == s->texts.end()) return static_cast<const void*>(nullptr);
            *size = it->second.size() + 1;
            *type = s->urids.Map(LV2_ATOM__String);
            *flags = 0;
            return static_cast<const void*>(it->second.c_str());
        },
        &store, 0, nullptr);
    store.texts.clear();
    state->save(
        plugin.Instance()->lv2_handle,
        [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t,
           uint32_t) {
            auto* s = static_cast<tStore*>(handle);
            s->texts[s->urids.Unmap(key)] = std::string(
                static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
            return LV2_STATE_SUCCESS;
        },
        &store, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
    return store.texts;
}

template <typename M> std::string TextOf(M& module) {
    std::ostringstream out;
    module.WritePatch(out);
    return out.str();
}

} // namespace

TEST(Lv2State, AFreshInstanceRestoredFromASavedStateSoundsTheSame) {
    struct {
        const char* uri;
        const char* preset;
    } cases[] = {{"urn:kelvora:string", "SynPiano"},
                 {"urn:kelvora:flute", "Clarinet"},
                 {"urn:kelvora:effects", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        const std::vector<float> input = c.preset == nullptr ? Tone() : std::vector<float>();
        tLv2Instance saved(c.uri, 48000);
        ASSERT_TRUE(saved.Ok());
        if (c.preset != nullptr) {
            LilvState* preset = LoadPreset(c.preset);
            saved.Restore(preset);
            lilv_state_free(preset);
            saved.Control("volume") = 2.5f;
        } else {
            saved.Control("fx_reverb_on") = 1.0f;
            saved.Control("fx_delay_on") = 1.0f;
        }
        saved.Control("fx_reverb_room") = 2.2f;
        // The state holds the texts and the ports' values.
        LilvState* state = saved.Save();
        ASSERT_NE(state, nullptr);

        tLv2Instance fresh(c.uri, 48000);
        fresh.Restore(state);
        lilv_state_free(state);
        saved.Activate();
        fresh.Activate();
        const std::vector<float> expected = Play(saved, input);
        const std::vector<float> restored = Play(fresh, input);
        EXPECT_EQ(restored, expected);
        double energy = 0.0;
        for (float v : restored) energy += v * v;
        EXPECT_GT(energy, 1.0);
    }
}

TEST(Lv2State, PatchTextsPassThroughTheStateUnchanged) {
    tStringModule string(0, 0);
    string.Controls().energy.feedback.Set(0.991);
    string.Controls().wave.type.Set(7);
    string.Controls().output.autoPan.Set(1);
    tFluteSynth flute(0, 0);
    flute.Controls().oscillator.embroSize.Set(0.33);
    flute.Controls().oscillator.boreScale.Set(3);
    tEffectsModule effects(0, 0);
    effects.Engine().Controls().reverb.roomSize.Set(2.37);
    effects.Engine().Controls().delay.time.Set(333);
    const std::string efx = TextOf(effects);
    for (const auto& [uri, text] : {std::pair{"urn:kelvora:string", TextOf(string)},
                                    std::pair{"urn:kelvora:flute", TextOf(flute)},
                                    std::pair{"urn:kelvora:effects", std::string()}}) {
        SCOPED_TRACE(uri);
        tLv2Instance plugin(uri, 44100);
        std::map<std::string, std::string> texts = {{"urn:kelvora:state#effects", efx}};
        if (!text.empty()) texts["urn:kelvora:state#instrument"] = text;
        EXPECT_EQ(RoundTrip(plugin, texts), texts);
    }
}
