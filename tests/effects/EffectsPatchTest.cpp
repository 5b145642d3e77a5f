#include "effects/EffectsPatch.h"
#include "catalog/PresetTexts.h"
#include "effects/EffectsModule.h"
#include "effects/UniversalFilter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {
using tLines = std::vector<std::vector<int>>;

// The integers of each line of a text.
tLines Integers(const std::string& text) {
    tLines lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<int> values;
        int v;
        while (fields >> v) values.push_back(v);
        lines.push_back(values);
    }
    return lines;
}

std::string Write(tEffectsModule& module) {
    std::ostringstream out;
    module.WritePatch(out);
    return out.str();
}

void Read(tEffectsModule& module, const std::string& text, const char* name = "test") {
    std::istringstream in(text);
    module.ReadPatch(name, in);
}

// The values a reader adds to a short record of the given line (1-based) and length.
std::vector<int> Completion(int line, std::size_t count) {
    if ((line == 4 || line == 6) && count == 7) return {50, 0};
    if (line == 9 && count == 4) return {255, 260};
    if (line == 9 && count == 5) return {260};
    if (line == 7 && count == 6) return {150, 0, 0}; // the volume stays at its default
    if (line == 7 && count == 7) return {0, 0};
    if (line == 7 && count == 8) return {0};
    return {};
}

// Snapshot of every widget value.
std::vector<double> Values(tEffectsModule& module) {
    std::vector<double> values;
    for (tControl* c : module.Engine().Controls().All()) values.push_back(c->Value());
    return values;
}
} // namespace

TEST(EffectsPatch, BuiltInTextsReadAndWriteBackToTheSameIntegers) {
    const tPresetTexts* table = PresetTable();
    int checked = 0;
    for (int i = 0; i < kPresetCount; ++i) {
        if (table[i].effects == nullptr) continue;
        if (i == 6 || i == 14) continue; // they share the text of the entry before
        ++checked;
        SCOPED_TRACE(table[i].label);
        tEffectsModule module(160, 45);
        Read(module, table[i].effects, table[i].name);
        const std::string written = Write(module);
        const tLines in = Integers(table[i].effects);
        const tLines out = Integers(written);
        ASSERT_EQ(out.size(), 10u);
        ASSERT_EQ(in.size(), 10u);
        EXPECT_EQ(out[0], (std::vector<int>{15}));
        EXPECT_EQ(out[1], in[1]);
        for (int line = 3; line <= 10; ++line) {
            std::vector<int> record = in[line - 1];
            ASSERT_EQ(record.back(), -1);
            record.pop_back();
            std::vector<int> expected = record;
            // Line 4 is overwritten by line 6 when read: the filter writes line 6's values.
            if (line == 4) {
                expected = in[5];
                expected.pop_back();
            }
            const std::size_t count = expected.size();
            for (int extra : Completion(line == 4 ? 6 : line, count)) expected.push_back(extra);
            expected.push_back(-1);
            const std::vector<int>& got = out[line - 1];
            ASSERT_EQ(got.size(), expected.size()) << "line " << line;
            EXPECT_EQ(got, expected) << "line " << line;
        }
        // Saving the patch read from the saved text changes nothing: no value drifts.
        tEffectsModule again(160, 45);
        Read(again, written, table[i].name);
        EXPECT_EQ(Write(again), written);
    }
    EXPECT_EQ(checked, 12);
}

TEST(EffectsPatch, FractionsBeyondTheLastPlaceAreTruncated) {
    tEffectsModule module(0, 0);
    tEffectsControls& controls = module.Engine().Controls();
    controls.reverb.roomSize.SetRaw(1.2399);
    controls.top.outputVolume.SetRaw(0.8999999);
    const tLines lines = Integers(Write(module));
    EXPECT_EQ(lines[1], (std::vector<int>{0, 89}));
    EXPECT_EQ(lines[8][4], 123);
}

TEST(EffectsPatch, WriterLayout) {
    tEffectsModule module(0, 0);
    Read(module, PresetTable()[0].effects);
    const std::string text = Write(module);
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "15");
    EXPECT_EQ(lines[1], "0 130");
    EXPECT_EQ(lines[2], "140 0 0 0 -1 ");
    EXPECT_EQ(lines[3], lines[5]); // the filter written twice
    for (std::size_t i = 2; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(lines[i].size() - 3), "-1 ");
    EXPECT_EQ(text.back(), '\n');
}

TEST(EffectsPatch, Line6DecidesForTheFilter) {
    tEffectsModule module(0, 0);
    // Text E2: line 4 has volume 50 and line 6 volume 210.
    Read(module, PresetTable()[1].effects);
    const tUniversalFilterControls& filter = module.Engine().Controls().filter;
    EXPECT_DOUBLE_EQ(filter.volume.Value(), 2.10);
    EXPECT_EQ(filter.type.Index(), 1);
    EXPECT_EQ(filter.order.Index(), 0);
    EXPECT_DOUBLE_EQ(filter.frequency.Value(), 0.722);
    EXPECT_TRUE(filter.on.IsOn());
    EXPECT_DOUBLE_EQ(filter.modDepth.Value(), 0.81);
    auto* unit = dynamic_cast<tUniversalFilter*>(module.Engine().Unit(1));
    EXPECT_NEAR(unit->gain(), std::exp(0.7) - 1.0, 1e-12); // updated from line 6

    // A record of 7 values (text E9) completes the modulation.
    tEffectsModule other(0, 0);
    Read(other, PresetTable()[9].effects);
    const tUniversalFilterControls& f9 = other.Engine().Controls().filter;
    EXPECT_DOUBLE_EQ(f9.volume.Value(), 2.10);
    EXPECT_EQ(f9.mode.Index(), 0);
    EXPECT_EQ(f9.type.Index(), 2);
    EXPECT_EQ(f9.order.Index(), 1);
    EXPECT_DOUBLE_EQ(f9.resonance.Value(), 0.25);
    EXPECT_DOUBLE_EQ(f9.frequency.Value(), 0.535);
    EXPECT_FALSE(f9.on.IsOn());
    EXPECT_DOUBLE_EQ(f9.modFreq.Value(), 0.05);
    EXPECT_DOUBLE_EQ(f9.modDepth.Value(), 0.0);
}

TEST(EffectsPatch, ShortOrDamagedTextsLeaveUnreadWidgetsAlone) {
    tEffectsModule fresh(0, 0);
    const std::vector<double> defaults = Values(fresh);

    tEffectsModule empty(0, 0);
    Read(empty, "");
    EXPECT_EQ(Values(empty), defaults);

    // Cut inside the PM resonator's record: distortion and filter are read, the rest not.
    const std::string e1 = PresetTable()[0].effects;
    const std::string cut = e1.substr(0, e1.find("430"));
    tEffectsModule shortText(0, 0);
    Read(shortText, cut);
    tEffectsControls& c = shortText.Engine().Controls();
    EXPECT_DOUBLE_EQ(c.top.outputVolume.Value(), 1.30);
    EXPECT_DOUBLE_EQ(c.distortion.volume.Value(), 1.40);
    EXPECT_DOUBLE_EQ(c.filter.frequency.Value(), 0.784);
    EXPECT_DOUBLE_EQ(c.pmResonator.frequency.Value(), 0.388);
    EXPECT_DOUBLE_EQ(c.pmResonator.feed.Value(), 0.6);
    EXPECT_DOUBLE_EQ(c.pmResonator.feedFreq.Value(), 0.44); // not read
    EXPECT_DOUBLE_EQ(c.chorus.width.Value(), 20.0);
    EXPECT_DOUBLE_EQ(c.delay.time.Value(), 200.0);

    // A token that is no integer ends the reading.
    tEffectsModule damaged(0, 0);
    Read(damaged, "15\n0 120\n100 50 x 1 -1\n1 2 3 -1\n");
    tEffectsControls& d = damaged.Engine().Controls();
    EXPECT_DOUBLE_EQ(d.top.outputVolume.Value(), 1.2);
    EXPECT_DOUBLE_EQ(d.distortion.volume.Value(), 1.0);
    EXPECT_DOUBLE_EQ(d.distortion.level.Value(), 0.5);
    EXPECT_FALSE(d.distortion.softMode.IsOn());
    EXPECT_DOUBLE_EQ(d.filter.volume.Value(), 1.5);

    // An overlong record keeps 19 values and the next record still starts at its own line.
    std::string longRecord = "15\n0 100\n";
    for (int i = 0; i < 40; ++i) longRecord += "7 ";
    longRecord += "-1\n123 1 2 3 44 555 1 -1\n";
    tEffectsModule overlong(0, 0);
    Read(overlong, longRecord);
    tEffectsControls& o = overlong.Engine().Controls();
    EXPECT_DOUBLE_EQ(o.distortion.volume.Value(), 0.07);
    EXPECT_DOUBLE_EQ(o.filter.volume.Value(), 1.23);
    EXPECT_DOUBLE_EQ(o.filter.frequency.Value(), 0.555);

    // A decimal volume is accepted; out-of-range values go into the widgets unchecked.
    tEffectsModule raw(0, 0);
    Read(raw, "15\n0 87.5\n9999 -300 7 3 -1\n");
    tEffectsControls& r = raw.Engine().Controls();
    EXPECT_DOUBLE_EQ(r.top.outputVolume.Value(), 0.875);
    EXPECT_DOUBLE_EQ(r.distortion.volume.Value(), 99.99);
    EXPECT_DOUBLE_EQ(r.distortion.level.Value(), -3.0);
    EXPECT_DOUBLE_EQ(r.distortion.softMode.Value(), 7.0);
}

TEST(EffectsPatch, NamesOfReadLoadedAndSavedPatches) {
    tEffectsModule module(0, 0);
    Read(module, PresetTable()[0].effects, "CleanGtr");
    EXPECT_EQ(module.Caption(), "CleanGtr");
    EXPECT_EQ(module.Title(), "KV Effects   (CleanGtr)");
    Read(module, PresetTable()[0].effects, "/home/me/v1.2/organ.efx");
    EXPECT_EQ(module.Caption(), "organ");
    EXPECT_EQ(module.Title(), "KV Effects   (/home/me/v1.2/organ)");

    char dir[] = "/tmp/kelvora-efx-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/bright.efx";
    ASSERT_TRUE(module.SavePatchFile(path));
    EXPECT_EQ(module.Title(), "KV Effects   (bright)");
    EXPECT_EQ(module.Caption(), "bright");

    tEffectsModule loaded(0, 0);
    loaded.LoadPatchFile(path);
    EXPECT_EQ(loaded.Title(), "KV Effects   (bright)");
    EXPECT_EQ(loaded.Caption(), "bright");
    EXPECT_EQ(Write(loaded), Write(module));

    // A file that cannot be opened is refused and leaves the module as it was.
    std::string error;
    EXPECT_FALSE(loaded.LoadPatchFile(std::string(dir) + "/none.efx", error));
    EXPECT_NE(error.find("none.efx"), std::string::npos) << error;
    EXPECT_EQ(loaded.Title(), "KV Effects   (bright)");
    EXPECT_EQ(Write(loaded), Write(module));

    std::remove(path.c_str());
    rmdir(dir);
}
