// kelvora-lv2-turtle DIR: writes the bundle's description into DIR: manifest.ttl (the three
// plugins and the built-in presets), kelvora.ttl (every port, from the modules' parameter
// tables) and presets.ttl (the built-in presets' port values and patch texts, from the preset
// texts). Run by the build; nothing in these files is written by hand.
#include "catalog/PresetTexts.h"
#include "core/Parameter.h"
#include "plugins/lv2/PluginRig.h"
#include "plugins/lv2/Uris.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

namespace {

const char* kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                        "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                        "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                        "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
                        "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                        "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                        "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
                        "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

// The shortest decimal text with a point that reads back as the same float: hosts read it as
// a float (Turtle reads "3" as an integer and "1e-05" as a double).
std::string Number(float value) {
    char text[64];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    if (std::strchr(text, 'e') != nullptr) {
        for (int decimals = 1; decimals <= 50; ++decimals) {
            std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
            if (std::strtof(text, nullptr) == value) break;
        }
    }
    std::string out = text;
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

std::string Symbol(const std::string& title) {
    std::string out;
    for (char c : title) {
        if (c >= 'A' && c <= 'Z')
            out += static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out;
}

std::string GroupUri(const tPluginInfo& info, const tParameter& parameter, bool effects) {
    return std::string("<") + info.uri + "#" + (effects ? "fx_" : "") + Symbol(parameter.group) +
           ">";
}

const char* UnitName(tUnit unit) {
    switch (unit) {
    case tUnit::kHz:
        return "units:hz";
    case tUnit::kMs:
        return "units:ms";
    case tUnit::kOctaves:
        return "units:oct";
    default:
        return nullptr;
    }
}

void WriteControlPort(std::ostream& out, const tPluginInfo& info, const tPluginRig& rig,
                      int index) {
    const tParameter& parameter = rig.Parameters()[index];
    const bool effects = index >= rig.InstrumentParameters();
    out << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << rig.FirstControlPort() + index << " ;\n"
        << "        lv2:symbol \"" << parameter.key << "\" ;\n"
        << "        lv2:name " << Quoted(parameter.Name()) << " ;\n"
        << "        lv2:default " << Number(static_cast<float>(parameter.Default())) << " ;\n"
        << "        lv2:minimum " << Number(static_cast<float>(parameter.Minimum())) << " ;\n"
        << "        lv2:maximum " << Number(static_cast<float>(parameter.Maximum()));
    if (parameter.group[0] != '\0')
        out << " ;\n        pg:group " << GroupUri(info, parameter, effects);
    if (const char* unit = UnitName(parameter.unit)) out << " ;\n        units:unit " << unit;
    if (parameter.IsToggle()) {
        out << " ;\n        lv2:portProperty lv2:toggled";
    } else if (parameter.IsChoice()) {
        out << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
        const auto& entries = parameter.control->Entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::string label = entries[i];
            label.erase(0, label.find_first_not_of(' '));
            out << (i == 0 ? " ;\n        lv2:scalePoint " : " , ") << "[ rdfs:label "
                << Quoted(label) << " ; rdf:value " << i << " ]";
        }
    } else if (parameter.control->Step() > 0.0) {
        const double steps =
            (parameter.Maximum() - parameter.Minimum()) / parameter.control->Step();
        out << " ;\n        pprops:rangeSteps " << static_cast<long>(steps + 0.5) + 1;
    }
    out << "\n    ]";
}

void WritePlugin(std::ostream& out, const tPluginInfo& info) {
    const tPluginRig rig(info.kind, 44100);
    out << "<" << info.uri << ">\n    a lv2:Plugin , "
        << (info.instrument ? "lv2:InstrumentPlugin" : "lv2:ReverbPlugin") << " ;\n"
        << "    doap:name " << Quoted(info.name) << " ;\n"
        << "    lv2:minorVersion 6 ;\n    lv2:microVersion 8 ;\n"
        << "    lv2:requiredFeature urid:map ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    lv2:port ";
    if (info.instrument) {
        out << "[\n        a lv2:InputPort , atom:AtomPort ;\n"
            << "        atom:bufferType atom:Sequence ;\n        atom:supports midi:MidiEvent ;\n"
            << "        lv2:designation lv2:control ;\n"
            << "        lv2:index 0 ;\n        lv2:symbol \"midi_in\" ;\n"
            << "        lv2:name \"MIDI in\"\n    ]";
    } else {
        const char* inputs[] = {"in_l", "Left in", "in_r", "Right in"};
        for (int i = 0; i < 2; ++i)
            out << (i == 0 ? "[" : " , [") << "\n        a lv2:InputPort , lv2:AudioPort ;\n"
                << "        lv2:index " << i << " ;\n        lv2:symbol \"" << inputs[2 * i]
                << "\" ;\n        lv2:name \"" << inputs[2 * i + 1] << "\"\n    ]";
    }
    const char* outputs[] = {"out_l", "Left", "out_r", "Right"};
    const int firstOutput = info.instrument ? 1 : 2;
    for (int i = 0; i < 2; ++i)
        out << " , [\n        a lv2:OutputPort , lv2:AudioPort ;\n"
            << "        lv2:index " << firstOutput + i << " ;\n        lv2:symbol \""
            << outputs[2 * i] << "\" ;\n        lv2:name \"" << outputs[2 * i + 1] << "\"\n    ]";
    const int count = static_cast<int>(rig.Parameters().size());
    for (int i = 0; i < count; ++i) WriteControlPort(out, info, rig, i);
    out << " .\n\n";

    std::set<std::string> groups;
    for (int i = 0; i < count; ++i) {
        const tParameter& parameter = rig.Parameters()[i];
        if (parameter.group[0] == '\0') continue;
        const bool effects = i >= rig.InstrumentParameters();
        const std::string uri = GroupUri(info, parameter, effects);
        if (!groups.insert(uri).second) continue;
        out << uri << "\n    a pg:Group ;\n    lv2:symbol \"" << (effects ? "fx_" : "")
            << Symbol(parameter.group) << "\" ;\n    lv2:name "
            << Quoted(std::string(effects ? "Effects: " : "") + parameter.group) << " .\n\n";
    }
}

std::string PresetUri(const tPresetTexts& preset) {
    return std::string("<") + kPresetUriPrefix + preset.label + ">";
}

const tPluginInfo& PresetPlugin(const tPresetTexts& preset) {
    return PluginInfos()[preset.flute != nullptr ? 1 : 0];
}

void WritePreset(std::ostream& out, const tPresetTexts& preset) {
    const tPluginInfo& info = PresetPlugin(preset);
    tPluginRig rig(info.kind, 44100);
    const char* instrument = preset.flute != nullptr ? preset.flute : preset.string;
    rig.ReadInstrumentText(instrument);
    const std::string effects = preset.effects != nullptr ? preset.effects : rig.EffectsText();
    rig.ReadEffectsText(effects);
    out << PresetUri(preset) << "\n    a pset:Preset ;\n    lv2:appliesTo <" << info.uri
        << "> ;\n    rdfs:label " << Quoted(preset.label) << " ;\n    lv2:port ";
    const int count = static_cast<int>(rig.Parameters().size());
    for (int i = 0; i < count; ++i) {
        const tParameter& parameter = rig.Parameters()[i];
        // A preset without an effects unit plays its instrument alone.
        float value = rig.PortValue(i);
        if (parameter.role == tParameterRole::kBypass)
            value = preset.effects != nullptr ? 0.0f : 1.0f;
        out << (i == 0 ? "" : " , ") << "[\n        lv2:symbol \"" << parameter.key
            << "\" ;\n        pset:value " << Number(value) << "\n    ]";
    }
    out << " ;\n    state:state [\n        <" << kInstrumentTextKey << "> " << Quoted(instrument)
        << " ;\n        <" << kEffectsTextKey << "> " << Quoted(effects) << "\n    ] .\n\n";
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) std::cerr << "kelvora-lv2-turtle: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kelvora-lv2-turtle BUNDLE_DIRECTORY\n";
        return EXIT_FAILURE;
    }
    const std::string dir = argv[1];
    std::ostringstream manifest, plugins, presets;
    manifest << kPrefixes;
    plugins << kPrefixes;
    presets << kPrefixes;
    plugins << "<" << kInstrumentTextKey << ">\n    a rdf:Property ;\n"
            << "    rdfs:label \"instrument patch text\" ;\n"
            << "    rdfs:comment \"The instrument's patch as its .pst or .flt file holds it.\" ;\n"
            << "    rdfs:range xsd:string .\n\n"
            << "<" << kEffectsTextKey << ">\n    a rdf:Property ;\n"
            << "    rdfs:label \"effects patch text\" ;\n"
            << "    rdfs:comment \"The effects unit's patch as its .efx file holds it.\" ;\n"
            << "    rdfs:range xsd:string .\n\n";
    for (const tPluginInfo& info : PluginInfos()) {
        manifest << "<" << info.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <kelvora.so> ;\n"
                 << "    rdfs:seeAlso <kelvora.ttl> .\n\n";
        WritePlugin(plugins, info);
    }
    for (int i = 0; i < kPresetCount; ++i) {
        const tPresetTexts& preset = PresetTable()[i];
        manifest << PresetUri(preset) << "\n    a pset:Preset ;\n    lv2:appliesTo <"
                 << PresetPlugin(preset).uri << "> ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
        WritePreset(presets, preset);
    }
    const bool ok = WriteFile(dir + "/manifest.ttl", manifest.str()) &&
                    WriteFile(dir + "/kelvora.ttl", plugins.str()) &&
                    WriteFile(dir + "/presets.ttl", presets.str());
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
