// A small LV2 host for the tests: the built bundle loaded through lilv, instances with their
// ports connected to buffers the test fills, MIDI events written into the atom sequence at
// their frames, presets and states applied the way hosts apply them.
#pragma once

#include "common/MidiAtoms.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The URID map every instance of a test process shares.
class tUridMap {
public:
    tUridMap() {
        mMap.handle = this;
        mMap.map = [](LV2_URID_Map_Handle handle, const char* uri) {
            return static_cast<tUridMap*>(handle)->Map(uri);
        };
        mUnmap.handle = this;
        mUnmap.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
            return static_cast<tUridMap*>(handle)->Unmap(urid);
        };
        mFeatures[0] = {LV2_URID__map, &mMap};
        mFeatures[1] = {LV2_URID__unmap, &mUnmap};
        mFeatureList[0] = &mFeatures[0];
        mFeatureList[1] = &mFeatures[1];
        mFeatureList[2] = nullptr;
    }
    LV2_URID Map(const char* uri) {
        auto [it, added] = mIds.try_emplace(uri, static_cast<LV2_URID>(mIds.size() + 1));
        if (added) mUris[it->second] = it->first;
        return it->second;
    }
    const char* Unmap(LV2_URID urid) {
        auto it = mUris.find(urid);
        return it == mUris.end() ? nullptr : it->second.c_str();
    }
    LV2_URID_Map* MapFeature() { return &mMap; }
    LV2_URID_Unmap* UnmapFeature() { return &mUnmap; }
    const LV2_Feature* const* Features() const { return mFeatureList; }

private:
    std::map<std::string, LV2_URID> mIds;
    std::map<LV2_URID, std::string> mUris;
    LV2_URID_Map mMap{};
    LV2_URID_Unmap mUnmap{};
    LV2_Feature mFeatures[2];
    const LV2_Feature* mFeatureList[3];
};

// The lilv world with the built bundle and the specifications installed on the machine.
class tLv2World {
public:
    static tLv2World& Get() {
        static tLv2World world;
        return world;
    }
    LilvWorld* World() const { return mWorld; }
    tUridMap& Urids() { return mUrids; }
    const LilvPlugin* Plugin(const std::string& uri) const {
        LilvNode* node = lilv_new_uri(mWorld, uri.c_str());
        const LilvPlugin* plugin =
            lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
        lilv_node_free(node);
        return plugin;
    }
    ~tLv2World() { lilv_world_free(mWorld); }

private:
    tLv2World() {
        // The bundle's directory first, so that an installed copy cannot stand in for it.
        const std::string bundle = KELVORA_LV2_BUNDLE;
        const std::string path = bundle.substr(0, bundle.rfind('/')) + ":/usr/lib/lv2";
        setenv("LV2_PATH", path.c_str(), 1);
        mWorld = lilv_world_new();
        lilv_world_load_all(mWorld);
    }
    LilvWorld* mWorld;
    tUridMap mUrids;
};

// One plugin instance with every port connected.
class tLv2Instance {
public:
    static constexpr std::size_t kAtomCapacity = 1 << 16;

    tLv2Instance(const std::string& uri, double rate)
        : mWorld(tLv2World::Get()), mPlugin(mWorld.Plugin(uri)) {
        if (mPlugin == nullptr) return;
        mInstance = lilv_plugin_instantiate(mPlugin, rate, mWorld.Urids().Features());
        if (mInstance == nullptr) return;
        const std::uint32_t ports = lilv_plugin_get_num_ports(mPlugin);
        mControls.assign(ports, 0.0f);
        std::vector<float> defaults(ports, NAN);
        lilv_plugin_get_port_ranges_float(mPlugin, nullptr, nullptr, defaults.data());
        mAtom.assign(kAtomCapacity / sizeof(std::uint64_t), 0);
        LilvWorld* world = mWorld.World();
        LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
        LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
        LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
        LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
        for (std::uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(mPlugin, i);
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(mPlugin, port));
            mIndex[symbol] = i;
            if (lilv_port_is_a(mPlugin, port, control)) {
                mControls[i] = defaults[i];
                lilv_instance_connect_port(mInstance, i, &mControls[i]);
            } else if (lilv_port_is_a(mPlugin, port, atom)) {
                lilv_instance_connect_port(mInstance, i, mAtom.data());
            } else if (lilv_port_is_a(mPlugin, port, audio)) {
                if (lilv_port_is_a(mPlugin, port, input))
                    mInputs.push_back(i);
                else
                    mOutputs.push_back(i);
            }
        }
        for (LilvNode* node : {audio, control, input, atom}) lilv_node_free(node);
        mMidiEvent = mWorld.Urids().Map(LV2_MIDI__MidiEvent);
        mSequence = mWorld.Urids().Map(LV2_ATOM__Sequence);
    }
    ~tLv2Instance() {
        if (mInstance == nullptr) return;
        if (mActive) lilv_instance_deactivate(mInstance);
        lilv_instance_free(mInstance);
    }
    tLv2Instance(const tLv2Instance&) = delete;
    tLv2Instance& operator=(const tLv2Instance&) = delete;

    bool Ok() const { return mInstance != nullptr; }
    const LilvPlugin* Plugin() const { return mPlugin; }
    LilvInstance* Instance() const { return mInstance; }
    void Activate() {
        lilv_instance_activate(mInstance);
        mActive = true;
    }

    float& Control(const std::string& symbol) { return mControls.at(mIndex.at(symbol)); }

    // Runs frames with the events (frames within the call, sorted); the input (effects
    // plugin) is left and right interleaved or empty for silence. Appends the output,
    // interleaved, to out.
    void Run(int frames, const std::vector<tMidiAt>& events, std::vector<float>& out,
             const std::vector<float>& input = {}) {
        WriteMidiSequence(mAtom, mSequence, mMidiEvent, events);
        std::vector<float> buffers[4];
        for (std::size_t k = 0; k < mInputs.size(); ++k) {
            buffers[k].assign(static_cast<std::size_t>(frames), 0.0f);
            if (!input.empty())
                for (int i = 0; i < frames; ++i) buffers[k][i] = input[2 * i + k];
            lilv_instance_connect_port(mInstance, mInputs[k], buffers[k].data());
        }
        for (std::size_t k = 0; k < mOutputs.size(); ++k) {
            buffers[2 + k].assign(static_cast<std::size_t>(frames), NAN);
            lilv_instance_connect_port(mInstance, mOutputs[k], buffers[2 + k].data());
        }
        lilv_instance_run(mInstance, static_cast<std::uint32_t>(frames));
        for (int i = 0; i < frames; ++i) {
            out.push_back(buffers[2][i]);
            out.push_back(buffers[3][i]);
        }
    }

    // Applies a saved state or a preset as hosts do: the plugin's state, then the ports.
    void Restore(const LilvState* state) {
        lilv_state_restore(state, mInstance, &SetPortValue, this, 0, mWorld.Urids().Features());
    }
    // The instance's state now (its ports' values and its own saved state).
    LilvState* Save() {
        return lilv_state_new_from_instance(mPlugin, mInstance, mWorld.Urids().MapFeature(),
                                            nullptr, nullptr, nullptr, nullptr, &GetPortValue, this,
                                            LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                            mWorld.Urids().Features());
    }
    const LV2_State_Interface* StateInterface() const {
        return static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(mInstance, LV2_STATE__interface));
    }

private:
    static void SetPortValue(const char* symbol, void* self, const void* value,
                             std::uint32_t /*size*/, std::uint32_t type) {
        auto* instance = static_cast<tLv2Instance*>(self);
        auto it = instance->mIndex.find(symbol);
        if (it == instance->mIndex.end()) return;
        tUridMap& urids = instance->mWorld.Urids();
        float& port = instance->mControls[it->second];
        if (type == urids.Map(LV2_ATOM__Float))
            port = *static_cast<const float*>(value);
        else if (type == urids.Map(LV2_ATOM__Double))
            port = static_cast<float>(*static_cast<const double*>(value));
        else if (type == urids.Map(LV2_ATOM__Int) || type == urids.Map(LV2_ATOM__Bool))
            port = static_cast<float>(*static_cast<const std::int32_t*>(value));
        else if (type == urids.Map(LV2_ATOM__Long))
            port = static_cast<float>(*static_cast<const std::int64_t*>(value));
    }
    static const void* GetPortValue(const char* symbol, void* self, std::uint32_t* size,
                                    std::uint32_t* type) {
        auto* instance = static_cast<tLv2Instance*>(self);
        auto it = instance->mIndex.find(symbol);
        if (it == instance->mIndex.end()) return nullptr;
        *size = sizeof(float);
        *type = instance->mWorld.Urids().Map(LV2_ATOM__Float);
        return &instance->mControls[it->second];
    }

    tLv2World& mWorld;
    const LilvPlugin* mPlugin;
    LilvInstance* mInstance = nullptr;
    bool mActive = false;
    std::vector<float> mControls;
    std::vector<std::uint64_t> mAtom;
    std::vector<std::uint32_t> mInputs;
    std::vector<std::uint32_t> mOutputs;
    std::map<std::string, std::uint32_t> mIndex;
    LV2_URID mMidiEvent = 0;
    LV2_URID mSequence = 0;
};

// The preset of that label ("CleanGtr"), loaded from the bundle; null when it is missing.
inline LilvState* LoadPreset(const std::string& label) {
    tLv2World& world = tLv2World::Get();
    LilvNode* uri = lilv_new_uri(world.World(), ("urn:kelvora:preset:" + label).c_str());
    lilv_world_load_resource(world.World(), uri);
    LilvState* state = lilv_state_new_from_world(world.World(), world.Urids().MapFeature(), uri);
    lilv_node_free(uri);
    return state;
}
