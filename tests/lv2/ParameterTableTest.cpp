// The parameter tables against what they describe: the released ports, the place of each
// parameter in its module's patch text and the MIDI controllers the module answers.
#include "effects/EffectsModule.h"
#include "effects/EffectsParameters.h"
#include "flute/FluteParameters.h"
#include "flute/FluteSynth.h"
#include "plugins/lv2/PluginRig.h"
#include "string/StringModule.h"
#include "string/StringParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

namespace {

// The text's tokens by record: record 0 is the whole text without its first token (string)
// or first two (flute); effects texts have one record per line after the first.
std::vector<std::vector<std::string>> Records(const std::string& text, int skip) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> record;
        for (std::string word; words >> word;) {
            record.push_back(word);
            all.push_back(word);
        }
        records.push_back(record);
    }
    all.erase(all.begin(), all.begin() + std::min<std::size_t>(skip, all.size()));
    records[0] = all;
    return records;
}

// A value of the control's range other than its current one (a slider's on its step).
double OtherValue(const tParameter& parameter) {
    const tControl& c = *parameter.control;
    if (parameter.IsToggle()) return c.IsOn() ? 0.0 : 1.0;
    if (parameter.IsChoice()) return c.Index() == c.EntryCount() - 1 ? 0.0 : c.EntryCount() - 1;
    double value = parameter.Minimum() + 0.37 * (parameter.Maximum() - parameter.Minimum());
    if (c.Step() > 0.0)
        value =
            parameter.Minimum() + std::round((value - parameter.Minimum()) / c.Step()) * c.Step();
    return value;
}

// Each parameter kept in the text is found at its place, holding a value set into its control.
template <typename M> void ExpectPatchPlaces(M& module, const tParameterTable& table, int skip) {
    for (const tParameter& parameter : table) {
        if (parameter.patchField == 0) continue;
        SCOPED_TRACE(parameter.key);
        const double value = OtherValue(parameter);
        const double kept =
            parameter.patchScale == 1 ? value : std::trunc(value * parameter.patchScale + 1e-9);
        auto field = [&] {
            std::ostringstream out;
            module.WritePatch(out);
            const auto records = Records(out.str(), skip);
            const auto& record = records.at(parameter.patchRecord);
            return std::stod(record.at(parameter.patchField - 1));
        };
        EXPECT_NE(field(), kept);
        parameter.Write(value);
        EXPECT_NEAR(field(), kept, 1e-6);
    }
}

// The controller numbers after which each table entry's control had been written.
template <typename M>
std::map<std::string, std::set<int>> ControllersAnswered(M& module, const tParameterTable& table) {
    std::map<std::string, std::set<int>> moved;
    for (int number = 1; number <= 119; ++number) {
        for (int value : {127, 0}) {
            std::vector<std::uint32_t> serials;
            for (const tParameter& p : table)
                serials.push_back(p.control ? p.control->Serial() : 0);
            module.Controller(0, number, value);
            for (std::size_t i = 0; i < table.size(); ++i)
                if (table[i].control && table[i].control->Serial() != serials[i])
                    moved[table[i].key].insert(number);
        }
    }
    return moved;
}

std::map<std::string, std::set<int>> ControllersListed(const tParameterTable& table) {
    std::map<std::string, std::set<int>> listed;
    for (const tParameter& p : table)
        for (int number : p.controllers)
            if (number != 0) listed[p.key].insert(number);
    return listed;
}

} // namespace

TEST(ParameterTables, ThePortsReleasedKeepTheirIndexAndSymbol) {
    std::ifstream file(KELVORA_TEST_DATA "/lv2_ports.txt");
    std::set<std::string> released;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#') released.insert(line);
    ASSERT_FALSE(released.empty());
    std::set<std::string> ports;
    for (const tPluginInfo& info : PluginInfos()) {
        const tPluginRig rig(info.kind, 44100);
        const std::vector<const char*> audio =
            info.instrument ? std::vector<const char*>{"midi_in", "out_l", "out_r"}
                            : std::vector<const char*>{"in_l", "in_r", "out_l", "out_r"};
        for (std::size_t i = 0; i < audio.size(); ++i)
            ports.insert(std::string(info.symbol) + " " + std::to_string(i) + " " + audio[i]);
        std::set<std::string> keys;
        for (std::size_t i = 0; i < rig.Parameters().size(); ++i) {
            const std::string key = rig.Parameters()[i].key;
            EXPECT_TRUE(keys.insert(key).second) << key << " twice";
            EXPECT_EQ(key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"),
                      std::string::npos);
            ports.insert(std::string(info.symbol) + " " +
                         std::to_string(rig.FirstControlPort() + i) + " " + key);
        }
    }
    for (const std::string& port : released)
        EXPECT_TRUE(ports.count(port)) << "released port changed: " << port;
    for (const std::string& port : ports)
        EXPECT_TRUE(released.count(port)) << "new port not in the list: " << port;
}

TEST(ParameterTables, EachParameterSitsAtItsPlaceInThePatchText) {
    tStringModule string(0, 0);
    ExpectPatchPlaces(string, StringParameters(string.Controls()), 1);
    tFluteSynth flute(0, 0);
    ExpectPatchPlaces(flute, FluteParameters(flute.Controls()), 2);
    tEffectsModule effects(0, 0);
    ExpectPatchPlaces(effects, EffectsParameters(effects.Engine().Controls()), 0);
}

TEST(ParameterTables, TheControllersListedAreTheOnesTheModulesAnswer) {
    tStringModule string(0, 0);
    string.Controls().top.midiController.Set(1);
    const tParameterTable strings = StringParameters(string.Controls());
    EXPECT_EQ(ControllersAnswered(string, strings), ControllersListed(strings));
    tFluteSynth flute(0, 0);
    flute.Controls().midiController.Set(1);
    const tParameterTable flutes = FluteParameters(flute.Controls());
    EXPECT_EQ(ControllersAnswered(flute, flutes), ControllersListed(flutes));
}
