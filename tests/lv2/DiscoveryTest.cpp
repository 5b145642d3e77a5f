// The bundle as hosts discover it through lilv: the three plugins, their classes, and every
// port against the parameter tables; the built-in presets on their instruments.
#include "Lv2Host.h"

#include <lv2/units/units.h>

#include "catalog/PresetTexts.h"
#include "plugins/lv2/PluginRig.h"

#include <gtest/gtest.h>

namespace {

std::string PortText(const LilvPlugin* plugin, const LilvPort* port, const char* property) {
    LilvWorld* world = tLv2World::Get().World();
    LilvNode* predicate = lilv_new_uri(world, property);
    LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
    std::string text = values != nullptr && lilv_nodes_size(values) > 0
                           ? lilv_node_as_string(lilv_nodes_get_first(values))
                           : "";
    lilv_nodes_free(values);
    lilv_node_free(predicate);
    return text;
}

} // namespace

TEST(Lv2Discovery, ThreePluginsWithEveryPortOfTheirTables) {
    LilvWorld* world = tLv2World::Get().World();
    LilvNode* toggled = lilv_new_uri(world, LV2_CORE__toggled);
    LilvNode* enumeration = lilv_new_uri(world, LV2_CORE__enumeration);
    for (const tPluginInfo& info : PluginInfos()) {
        SCOPED_TRACE(info.uri);
        const LilvPlugin* plugin = tLv2World::Get().Plugin(info.uri);
        ASSERT_NE(plugin, nullptr);
        LilvNode* name = lilv_plugin_get_name(plugin);
        EXPECT_STREQ(lilv_node_as_string(name), info.name);
        lilv_node_free(name);
        const std::string klass =
            lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin)));
        EXPECT_EQ(klass, info.instrument ? LV2_CORE__InstrumentPlugin : LV2_CORE__ReverbPlugin);

        const tPluginRig rig(info.kind, 44100);
        const tParameterTable& table = rig.Parameters();
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        ASSERT_EQ(ports, rig.FirstControlPort() + table.size());
        std::vector<float> minimum(ports), maximum(ports), defaults(ports);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        for (std::size_t i = 0; i < table.size(); ++i) {
            const tParameter& parameter = table[i];
            const std::uint32_t index = rig.FirstControlPort() + static_cast<std::uint32_t>(i);
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
            ASSERT_NE(port, nullptr);
            SCOPED_TRACE(parameter.key);
            EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), parameter.key);
            LilvNode* portName = lilv_port_get_name(plugin, port);
            EXPECT_EQ(lilv_node_as_string(portName), parameter.Name());
            lilv_node_free(portName);
            EXPECT_EQ(minimum[index], static_cast<float>(parameter.Minimum()));
            EXPECT_EQ(maximum[index], static_cast<float>(parameter.Maximum()));
            EXPECT_EQ(defaults[index], static_cast<float>(parameter.Default()));
            EXPECT_EQ(lilv_port_has_property(plugin, port, toggled), parameter.IsToggle());
            EXPECT_EQ(lilv_port_has_property(plugin, port, enumeration), parameter.IsChoice());
            if (parameter.IsChoice()) {
                LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
                EXPECT_EQ(lilv_scale_points_size(points),
                          static_cast<unsigned>(parameter.control->EntryCount()));
                lilv_scale_points_free(points);
            }
            if (parameter.unit == tUnit::kMs) {
                EXPECT_EQ(PortText(plugin, port, LV2_UNITS__unit), LV2_UNITS__ms);
            }
        }
    }
    lilv_node_free(toggled);
    lilv_node_free(enumeration);
}

TEST(Lv2Discovery, EveryBuiltInPresetBelongsToItsInstrument) {
    for (int i = 0; i < kPresetCount; ++i) {
        const tPresetTexts& preset = PresetTable()[i];
        SCOPED_TRACE(preset.label);
        LilvState* state = LoadPreset(preset.label);
        ASSERT_NE(state, nullptr);
        const char* plugin = lilv_node_as_uri(lilv_state_get_plugin_uri(state));
        EXPECT_STREQ(plugin, preset.flute != nullptr ? "urn:kelvora:flute" : "urn:kelvora:string");
        EXPECT_STREQ(lilv_state_get_label(state), preset.label);
        lilv_state_free(state);
    }
}
