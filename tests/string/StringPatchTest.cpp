#include "string/StringPatch.h"
#include "catalog/PresetTexts.h"
#include "string/StringControls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum class tHow { Slider, Raw, Choice, Switch, None };

// One value of the patch text, in text order, and the control it lands in.
struct tField {
    const char* name;
    tHow how;
    std::function<tControl&(tStringControls&)> control;
};

const std::vector<tField>& Fields() {
    using C = tStringControls;
    static const std::vector<tField> fields = {
        {"attack", tHow::Slider, [](C& c) -> tControl& { return c.output.attack; }},
        {"spare", tHow::None, nullptr},
        {"release", tHow::Slider, [](C& c) -> tControl& { return c.output.release; }},
        {"loop frequency", tHow::Slider, [](C& c) -> tControl& { return c.energy.frequency; }},
        {"filter order", tHow::Choice, [](C& c) -> tControl& { return c.energy.filterOrder; }},
        {"freq max", tHow::Slider, [](C& c) -> tControl& { return c.energy.freqMax; }},
        {"loop follow", tHow::Choice, [](C& c) -> tControl& { return c.energy.filterFollows; }},
        {"output frequency", tHow::Slider,
         [](C& c) -> tControl& { return c.outputFilter.frequency; }},
        {"kind", tHow::Choice, [](C& c) -> tControl& { return c.outputFilter.kind; }},
        {"volume", tHow::Slider, [](C& c) -> tControl& { return c.output.volume; }},
        {"wave amount", tHow::Slider, [](C& c) -> tControl& { return c.wave.amplitude; }},
        {"feedback", tHow::Slider, [](C& c) -> tControl& { return c.energy.feedback; }},
        {"random frequency", tHow::Slider,
         [](C& c) -> tControl& { return c.randomFilter.frequency; }},
        {"random follow", tHow::Choice, [](C& c) -> tControl& { return c.randomFilter.follows; }},
        {"wave type", tHow::Choice, [](C& c) -> tControl& { return c.wave.type; }},
        {"dc filter", tHow::Switch, [](C& c) -> tControl& { return c.output.dcFilter; }},
        {"filter attack", tHow::Slider, [](C& c) -> tControl& { return c.energy.filterAttack; }},
        {"start freq", tHow::Slider, [](C& c) -> tControl& { return c.energy.startFreq; }},
        {"spare", tHow::None, nullptr},
        {"silence", tHow::Slider, [](C& c) -> tControl& { return c.output.silence; }},
        {"modulation", tHow::Switch, [](C& c) -> tControl& { return c.output.modulation; }},
        {"off delay", tHow::Slider, [](C& c) -> tControl& { return c.energy.offDelay; }},
        {"resonance", tHow::Slider, [](C& c) -> tControl& { return c.outputFilter.resonance; }},
        {"output follow", tHow::Choice,
         [](C& c) -> tControl& { return c.outputFilter.filterFollows; }},
        {"slope", tHow::Choice, [](C& c) -> tControl& { return c.outputFilter.slope; }},
        {"mute", tHow::Switch, [](C& c) -> tControl& { return c.output.mute; }},
        {"ampl-env", tHow::Switch, [](C& c) -> tControl& { return c.output.amplEnv; }},
        {"off-feedback", tHow::Slider, [](C& c) -> tControl& { return c.energy.offFeedback; }},
        {"bass boost", tHow::Switch, [](C& c) -> tControl& { return c.output.bassBoost; }},
        {"env mode", tHow::Choice, [](C& c) -> tControl& { return c.envelope.envMode; }},
        {"env release", tHow::Slider, [](C& c) -> tControl& { return c.envelope.envRelease; }},
        {"env sustain", tHow::Slider, [](C& c) -> tControl& { return c.envelope.envSustain; }},
        {"env speed", tHow::Slider, [](C& c) -> tControl& { return c.envelope.envSpeed; }},
        {"env amount", tHow::Slider, [](C& c) -> tControl& { return c.envelope.envAmpl; }},
        {"fixed time", tHow::Switch, [](C& c) -> tControl& { return c.energy.fixedTime; }},
        {"reserved", tHow::None, nullptr},
        {"soft damp", tHow::Raw, [](C& c) -> tControl& { return c.energy.softDamp; }},
        {"LFO frequency", tHow::Raw, [](C& c) -> tControl& { return c.output.lfoFreq; }},
        {"LFO amount", tHow::Raw, [](C& c) -> tControl& { return c.output.lfoAmpl; }},
        {"pink", tHow::Switch, [](C& c) -> tControl& { return c.randomFilter.pink; }},
        {"lin velocity", tHow::Switch, [](C& c) -> tControl& { return c.output.linVelocity; }},
        {"midi controller", tHow::Switch, [](C& c) -> tControl& { return c.top.midiController; }},
        {"auto pan", tHow::Switch, [](C& c) -> tControl& { return c.output.autoPan; }},
    };
    return fields;
}

std::vector<double> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> numbers;
    std::string token;
    while (in >> token) numbers.push_back(std::strtod(token.c_str(), nullptr));
    return numbers;
}

std::string Join(const std::vector<double>& numbers) {
    std::ostringstream out;
    for (double n : numbers) out << n << ' ';
    return out.str();
}

// Reads text into fresh controls through a fresh record.
void Load(const std::string& text, tStringControls& controls, tStringPatch& patch) {
    std::istringstream in(text);
    patch.Read(in);
    patch.CopyTo(controls);
}

std::string Save(const tStringControls& controls) {
    tStringPatch patch;
    patch.CopyFrom(controls);
    std::ostringstream out;
    patch.Write(out);
    return out.str();
}

// Checks every field of a version-15 or later text against the controls it was read into.
void ExpectControlsHold(const std::vector<double>& values, tStringControls& controls,
                        const std::string& what) {
    const auto& fields = Fields();
    for (std::size_t i = 0; i + 1 < values.size() && i < fields.size(); ++i) {
        const tField& f = fields[i];
        if (f.how == tHow::None) continue;
        const tControl& control = f.control(controls);
        const double raw = values[i + 1];
        double expected = raw;
        // Before version 17 the slope list had no 18 dB entries.
        if (i == 24 && values[0] < 17 && raw >= 4) expected = raw + 2;
        if (f.how == tHow::Slider) expected = control.Limit(raw);
        if (f.how == tHow::Switch) expected = raw != 0.0 ? 1.0 : 0.0;
        EXPECT_DOUBLE_EQ(control.Value(), expected) << what << ": " << f.name;
    }
}

std::vector<const char*> StringTexts() {
    std::vector<const char*> texts;
    for (int i = 0; i < kPresetCount; ++i) {
        if (PresetTable()[i].string != nullptr) texts.push_back(PresetTable()[i].string);
    }
    return texts;
}

} // namespace

TEST(StringPatch, FirstPresetReadsIntoTheControls) {
    tStringControls c;
    tStringPatch patch;
    Load(PresetTable()[0].string, c, patch);
    EXPECT_DOUBLE_EQ(c.output.attack.Value(), 4);
    EXPECT_DOUBLE_EQ(c.output.release.Value(), 0);
    EXPECT_DOUBLE_EQ(c.energy.frequency.Value(), 0.72);
    EXPECT_EQ(c.energy.filterOrder.Index(), 0);
    EXPECT_DOUBLE_EQ(c.energy.freqMax.Value(), 0.921);
    EXPECT_EQ(c.energy.filterFollows.Index(), 2);
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 6.4);
    EXPECT_EQ(c.outputFilter.kind.Index(), 0);
    EXPECT_DOUBLE_EQ(c.output.volume.Value(), 4.2);
    EXPECT_DOUBLE_EQ(c.wave.amplitude.Value(), 0.52);
    EXPECT_DOUBLE_EQ(c.energy.feedback.Value(), 0.984);
    EXPECT_DOUBLE_EQ(c.randomFilter.frequency.Value(), 0.52);
    EXPECT_EQ(c.randomFilter.follows.Index(), 2);
    EXPECT_EQ(c.wave.type.Index(), 1);
    EXPECT_FALSE(c.output.dcFilter.IsOn());
    EXPECT_DOUBLE_EQ(c.energy.filterAttack.Value(), 3);
    EXPECT_DOUBLE_EQ(c.energy.startFreq.Value(), 0.369);
    EXPECT_DOUBLE_EQ(c.output.silence.Value(), 0);
    EXPECT_FALSE(c.output.modulation.IsOn());
    EXPECT_DOUBLE_EQ(c.energy.offDelay.Value(), 26);
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0);
    EXPECT_EQ(c.outputFilter.filterFollows.Index(), 1);
    EXPECT_EQ(c.outputFilter.slope.Index(), 0);
    EXPECT_TRUE(c.output.mute.IsOn());
    EXPECT_FALSE(c.output.amplEnv.IsOn());
    EXPECT_DOUBLE_EQ(c.energy.offFeedback.Value(), 0.9969);
    EXPECT_FALSE(c.output.bassBoost.IsOn());
    EXPECT_EQ(c.envelope.envMode.Index(), 0);
    EXPECT_DOUBLE_EQ(c.envelope.envRelease.Value(), 0.2);
    EXPECT_DOUBLE_EQ(c.envelope.envSustain.Value(), 0.2);
    EXPECT_DOUBLE_EQ(c.envelope.envSpeed.Value(), 0.4);
    EXPECT_DOUBLE_EQ(c.envelope.envAmpl.Value(), 0);
    EXPECT_TRUE(c.energy.fixedTime.IsOn());
    EXPECT_EQ(patch.reserved, 0);
    EXPECT_DOUBLE_EQ(c.energy.softDamp.Value(), 20);
    EXPECT_DOUBLE_EQ(c.output.lfoFreq.Value(), 0.5);
    EXPECT_DOUBLE_EQ(c.output.lfoAmpl.Value(), 0);
    EXPECT_FALSE(c.randomFilter.pink.IsOn());
    EXPECT_FALSE(c.output.linVelocity.IsOn());
    EXPECT_FALSE(c.top.midiController.IsOn());
    EXPECT_FALSE(c.output.autoPan.IsOn());
}

TEST(StringPatch, EveryBuiltInTextReadsAndWritesBackAsVersion19) {
    const auto texts = StringTexts();
    ASSERT_EQ(texts.size(), 13u);
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const std::string what = "text S" + std::to_string(t + 1);
        const std::vector<double> values = Numbers(texts[t]);
        const int version = static_cast<int>(values[0]);
        ASSERT_EQ(values.size(), version == 18 ? 42u : 40u) << what;

        tStringControls c;
        tStringPatch patch;
        Load(texts[t], c, patch);
        ExpectControlsHold(values, c, what);

        const std::string written = Save(c);
        EXPECT_EQ(written.substr(0, 3), "19\n") << what;
        EXPECT_EQ(written.back(), '\n') << what;
        const std::vector<double> again = Numbers(written);
        ASSERT_EQ(again.size(), 44u) << what;
        EXPECT_EQ(again[2], 0.0) << what << ": spare";
        EXPECT_EQ(again[19], 0.0) << what << ": spare";
        EXPECT_EQ(again[36], values[36]) << what << ": reserved";

        tStringControls back;
        tStringPatch fresh;
        Load(written, back, fresh);
        ExpectControlsHold(again, back, what + " written");
        const auto& fields = Fields();
        for (const tField& f : fields) {
            if (f.how == tHow::None) continue;
            EXPECT_DOUBLE_EQ(f.control(back).Value(), f.control(c).Value()) << what << f.name;
        }
    }
}

TEST(StringPatch, OlderVersionsGainTheirMissingFields) {
    // Version 18: midi controller and auto pan come in as 0, even after a module had them on.
    tStringControls c;
    c.top.midiController.Set(1);
    c.output.autoPan.Set(1);
    tStringPatch patch;
    const char* organ2 = PresetTable()[4].string;
    ASSERT_EQ(Numbers(organ2)[0], 18);
    Load(organ2, c, patch);
    EXPECT_FALSE(c.top.midiController.IsOn());
    EXPECT_FALSE(c.output.autoPan.IsOn());
    EXPECT_TRUE(c.randomFilter.pink.IsOn()); // the text's last two values
    EXPECT_FALSE(c.output.linVelocity.IsOn());
    const std::vector<double> written = Numbers(Save(c));
    EXPECT_EQ(written[0], 19);
    EXPECT_EQ(written[42], 0);
    EXPECT_EQ(written[43], 0);

    // Version 16: the slope list then had no 18 dB entries, so "24 dB" was entry 4.
    std::vector<double> v16 = Numbers(PresetTable()[0].string);
    v16[0] = 16;
    v16[25] = 4;
    v16.push_back(1); // pink
    Load(Join(v16), c, patch);
    EXPECT_EQ(c.outputFilter.slope.Index(), 6);
    EXPECT_TRUE(c.randomFilter.pink.IsOn());
    v16[25] = 3;
    Load(Join(v16), c, patch);
    EXPECT_EQ(c.outputFilter.slope.Index(), 3);
    // From version 17 on the slope is taken as written.
    v16[0] = 17;
    v16[25] = 4;
    Load(Join(v16), c, patch);
    EXPECT_EQ(c.outputFilter.slope.Index(), 4);
}

TEST(StringPatch, Version14TextIsConvertedFromTheOldUnits) {
    std::vector<double> v14 = Numbers(PresetTable()[0].string);
    v14[0] = 14;
    v14[1] = 0.4;   // attack
    v14[3] = 5000;  // release
    v14[4] = 7.2;   // loop frequency
    v14[5] = 2;     // filter order, counted from 1
    v14[10] = 387;  // volume
    v14[13] = 4.45; // random frequency
    v14[17] = 0.6;  // filter attack
    v14[18] = 3.69; // start freq
    v14[23] = 50;   // resonance
    v14[28] = 9969; // off-feedback
    v14[31] = 3000; // env release
    v14[32] = 1000; // env sustain
    v14[34] = 120;  // env amount
    tStringControls c;
    tStringPatch patch;
    Load(Join(v14), c, patch);
    EXPECT_DOUBLE_EQ(c.output.attack.Value(), 4);
    EXPECT_DOUBLE_EQ(c.output.release.Value(), 0.5);
    EXPECT_DOUBLE_EQ(c.energy.frequency.Value(), 0.72);
    EXPECT_EQ(c.energy.filterOrder.Index(), 1);
    EXPECT_DOUBLE_EQ(c.output.volume.Value(), 3.87);
    EXPECT_DOUBLE_EQ(c.randomFilter.frequency.Value(), 0.445);
    EXPECT_DOUBLE_EQ(c.energy.filterAttack.Value(), 3);
    EXPECT_DOUBLE_EQ(c.energy.startFreq.Value(), 0.369);
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0.5);
    EXPECT_DOUBLE_EQ(c.energy.offFeedback.Value(), 0.9969);
    EXPECT_DOUBLE_EQ(c.envelope.envRelease.Value(), 0.3);
    EXPECT_DOUBLE_EQ(c.envelope.envSustain.Value(), 0.1);
    EXPECT_DOUBLE_EQ(c.envelope.envAmpl.Value(), 1.2);
    // Values without a unit change stay as written.
    EXPECT_DOUBLE_EQ(c.energy.feedback.Value(), 0.984);
    EXPECT_DOUBLE_EQ(c.energy.offDelay.Value(), 26);
}

TEST(StringPatch, SlidersAreLimitedOnCopyInButSoftDampAndLfoAreNot) {
    std::vector<double> values = Numbers(PresetTable()[0].string);
    values[12] = 1.5; // feedback above 1.01
    values[10] = -2;  // volume below 0
    values[36] = 7;   // reserved: 2 or more becomes 1
    values[37] = 35;  // soft damp above 20
    values[38] = 9;   // LFO frequency above 5
    values[39] = 3;   // LFO amount above 1
    tStringControls c;
    tStringPatch patch;
    Load(Join(values), c, patch);
    EXPECT_DOUBLE_EQ(c.energy.feedback.Value(), 1.01);
    EXPECT_DOUBLE_EQ(patch.feedback, 1.01);
    EXPECT_DOUBLE_EQ(c.output.volume.Value(), 0);
    EXPECT_DOUBLE_EQ(patch.volume, 0);
    EXPECT_EQ(patch.reserved, 1);
    EXPECT_DOUBLE_EQ(c.energy.softDamp.Value(), 35);
    EXPECT_DOUBLE_EQ(c.output.lfoFreq.Value(), 9);
    EXPECT_DOUBLE_EQ(c.output.lfoAmpl.Value(), 3);
}

TEST(StringPatch, ShortAndUnreadableTextsKeepWhatTheRecordHeld) {
    tStringControls c;
    tStringPatch patch;
    patch.feedback = 0.95;
    patch.volume = 2.0;
    patch.slope = 2;
    // Ends after the wave amount: later values keep the record's, or the reader's starting
    // values for the fields older texts lack.
    Load("15 7 0 0.1 0.5 1 0.8 1 5 2 1.5 0.3", c, patch);
    EXPECT_DOUBLE_EQ(c.output.attack.Value(), 7);
    EXPECT_DOUBLE_EQ(c.wave.amplitude.Value(), 0.3);
    EXPECT_DOUBLE_EQ(c.energy.feedback.Value(), 0.95);
    EXPECT_EQ(c.outputFilter.slope.Index(), 2);
    EXPECT_DOUBLE_EQ(c.energy.startFreq.Value(), 1.0);    // 9.999, limited
    EXPECT_DOUBLE_EQ(c.energy.offFeedback.Value(), 0.97); // 0, limited
    EXPECT_DOUBLE_EQ(c.energy.softDamp.Value(), 0);

    // No readable version: nothing is read, nothing converted, the slope is not shifted.
    patch.attack = 0.5;
    patch.slope = 4;
    std::istringstream in("harp 1 2 3");
    EXPECT_EQ(patch.Read(in), 19);
    EXPECT_DOUBLE_EQ(patch.attack, 0.5);
    EXPECT_EQ(patch.slope, 4);
    std::istringstream empty("");
    EXPECT_EQ(patch.Read(empty), 19);
    EXPECT_DOUBLE_EQ(patch.attack, 0.5);
}

TEST(StringControls, VoiceCountEntries) {
    tStringControls c;
    EXPECT_EQ(c.VoiceCount(), 8);
    const int asked[] = {-3, 0, 1, 2, 7, 12, 13, 24, 99};
    const int got[] = {12, 12, 12, 2, 7, 12, 24, 24, 24};
    for (int i = 0; i < 9; ++i) {
        c.SelectVoiceCount(asked[i]);
        EXPECT_EQ(c.VoiceCount(), got[i]) << asked[i];
    }
    c.top.voices.SetRaw(40); // no such entry
    EXPECT_EQ(c.VoiceCount(), 1);
}
