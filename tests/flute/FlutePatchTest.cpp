#include "flute/FlutePatch.h"
#include "core/PresetTexts.h"
#include "flute/FluteControls.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const char* PresetFluteText(const char* label) {
    const int index = FindPreset(label);
    EXPECT_GE(index, 0);
    return PresetTable()[index].flute;
}

void ReadInto(tFlutePatch& patch, tFluteControls& controls, const std::string& text) {
    std::istringstream in(text);
    patch.Read(in);
    patch.Apply(controls);
}

std::string WriteFrom(tFlutePatch& patch, const tFluteControls& controls) {
    std::ostringstream out;
    patch.Capture(controls);
    patch.Write(out);
    return out.str();
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

} // namespace

TEST(FluteControls, NewModuleShowsTheNewModuleRecord) {
    tFluteControls c;
    tFlutePatch patch;
    const std::string written = WriteFrom(patch, c);
    EXPECT_EQ(written, "11\n-1.68 0 1 1 0.795 0.95 0 2.38 1 1.7 0.16 0.16 1 11 0.5 0.5 0.48 "
                       "0.59 0.41 1 0.23 1 0 0.14 1 0 0 1.23 1 1 \n");
    EXPECT_TRUE(c.midiController.IsOn());
    EXPECT_EQ(c.midiChannel.EntryCount(), 16);
    EXPECT_EQ(c.midiChannel.Entries().back(), "16");
    EXPECT_EQ(c.outputFilter.onOff.Entries()[1], "  12 dB");
    EXPECT_EQ(c.breath.attackAmplitude.Label(), "amplitude");
    EXPECT_DOUBLE_EQ(c.breath.attackAmplitude.Minimum(), 0.1);
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Maximum(), 10.0);
}

TEST(FlutePatch, ClarinetPresetReadsTwentySevenFieldsWithoutMarker) {
    tFluteControls c;
    tFlutePatch patch;
    c.oscillator.boreScale.SetRaw(4.0); // a value inside 1..5 survives a record without it
    patch.Capture(c);
    ReadInto(patch, c, PresetFluteText("Clarinet"));

    EXPECT_DOUBLE_EQ(c.pressure.attack.Value(), 2.0);
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.489);
    EXPECT_EQ(c.oscillator.followNote.Index(), 1);
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 3.52);
    EXPECT_DOUBLE_EQ(c.outputControl.volume.Value(), 1.29);
    EXPECT_DOUBLE_EQ(c.breath.frequency.Value(), 0.292);
    EXPECT_DOUBLE_EQ(c.breath.attackAmplitude.Value(), 0.53);
    EXPECT_DOUBLE_EQ(c.oscillator.feedBore.Value(), 0.73);
    EXPECT_DOUBLE_EQ(c.pressure.pressure.Value(), 0.441);
    EXPECT_EQ(c.oscillator.type.Index(), 0);
    EXPECT_EQ(c.outputFilter.onOff.Index(), 0);
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0.21);
    EXPECT_FALSE(c.outputControl.mute.IsOn());
    EXPECT_EQ(c.oscillator.filterOrder.Index(), 1);
    EXPECT_DOUBLE_EQ(c.pressure.tremoloFreq.Value(), 1.23);
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 4.0);
    EXPECT_FALSE(c.midiController.IsOn());

    // Written back in the current format: marker, field 29, fields 2 and 3 as 1.
    const std::vector<std::string> words = Words(WriteFrom(patch, c));
    ASSERT_EQ(words.size(), 31u);
    EXPECT_EQ(words[0], "11");
    EXPECT_EQ(words[1], "-1.68");
    EXPECT_EQ(words[2], "2");
    EXPECT_EQ(words[3], "1");
    EXPECT_EQ(words[4], "1");
    EXPECT_EQ(words[5], "0.489");
    EXPECT_EQ(words[29], "4");
    EXPECT_EQ(words[30], "0");
}

TEST(FlutePatch, ClarinetPresetResetsABoreScaleOutsideTheFileRange) {
    tFluteControls c;
    tFlutePatch patch;
    c.oscillator.boreScale.Set(8.0);
    patch.Capture(c);
    ReadInto(patch, c, PresetFluteText("Clarinet"));
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 1.0);
}

TEST(FlutePatch, BrightFluteReadsAndWritesBackWithMarkerAndField29) {
    tFluteControls c;
    tFlutePatch patch;
    c.midiController.Set(1);
    ReadInto(patch, c, PresetFluteText("BrightFlute"));
    EXPECT_DOUBLE_EQ(c.breath.amplitude.Value(), 0.36);
    EXPECT_DOUBLE_EQ(c.breath.attack.Value(), 20.0);
    EXPECT_EQ(c.breath.followNote.Index(), 0);
    EXPECT_DOUBLE_EQ(c.oscillator.embroSize.Value(), 0.25);
    EXPECT_DOUBLE_EQ(c.pressure.pressure.Value(), 0.625);
    EXPECT_EQ(c.outputFilter.onOff.Index(), 1);
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0.24);
    EXPECT_TRUE(c.outputControl.mute.IsOn());
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 1.0);
    EXPECT_FALSE(c.midiController.IsOn()); // no marker: controllers off

    EXPECT_EQ(WriteFrom(patch, c), "11\n-1.68 0 1 1 0.795 0.95 0 3.14 1 1.7 0.36 0.452 0 20 1 "
                                   "0.25 0.48 0.59 0.625 1 0.23 1 1 0.24 1 0 0 1.23 1 0 \n");
}

TEST(FlutePatch, WrittenRecordReadsBackToTheSameWidgets) {
    tFluteControls a;
    tFlutePatch patchA;
    a.oscillator.frequency.Set(0.123);
    a.oscillator.type.Set(0);
    a.oscillator.scale100.Set(1);
    a.breath.followNote.Set(4);
    a.outputFilter.type.Set(3);
    a.outputFilter.followNote.Set(2);
    a.oscillator.boreScale.Set(5);
    a.midiController.Set(0);
    const std::string text = WriteFrom(patchA, a);

    tFluteControls b;
    tFlutePatch patchB;
    ReadInto(patchB, b, text);
    EXPECT_EQ(WriteFrom(patchB, b), text);
    EXPECT_DOUBLE_EQ(b.oscillator.frequency.Value(), 0.123);
    EXPECT_EQ(b.breath.followNote.Index(), 4);
    EXPECT_EQ(b.outputFilter.followNote.Index(), 2);
    EXPECT_DOUBLE_EQ(b.oscillator.boreScale.Value(), 5.0);
    EXPECT_FALSE(b.midiController.IsOn());
    EXPECT_DOUBLE_EQ(patchB.Mirror().unused2, 1.0);
    EXPECT_DOUBLE_EQ(patchB.Mirror().unused3, 1.0);
}

TEST(FlutePatch, BoreScaleSevenFromTheWidgetReadsBackAsOne) {
    tFluteControls c;
    tFlutePatch patch;
    c.oscillator.boreScale.Set(7.0);
    const std::string text = WriteFrom(patch, c);
    EXPECT_NE(text.find(" 7 1 \n"), std::string::npos);
    ReadInto(patch, c, text);
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 1.0);
}

TEST(FlutePatch, HandWrittenMarkerSelectsTheNewFormat) {
    tFluteControls c;
    tFlutePatch patch;
    c.midiController.Set(0);
    ReadInto(patch, c,
             "42 -1.68 3 1 1 0.5 0.9 1 2 2 1 0.1 0.1 2 5 0.2 0.3 0.4 0.5 0.6 0 "
             "0.1 2 1 0.5 0 1 1 2.5 3 1");
    EXPECT_DOUBLE_EQ(c.pressure.attack.Value(), 3.0);
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 3.0);
    EXPECT_TRUE(c.midiController.IsOn());
    EXPECT_TRUE(c.oscillator.scale100.IsOn());
}

TEST(FlutePatch, RecordEndingEarlyKeepsMirrorValuesExceptTheReaderDefaults) {
    tFluteControls c;
    tFlutePatch patch;
    c.outputFilter.frequency.Set(7.0); // widget moved after the last read or write
    ReadInto(patch, c, "11 5 1 1 0.3");
    EXPECT_DOUBLE_EQ(c.pressure.attack.Value(), 5.0);
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.3);
    // Not in the record: the mirror's value, not the widget's.
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 2.38);
    EXPECT_DOUBLE_EQ(c.oscillator.feedBore.Value(), 0.59);
    // The reader's defaults for a record that ends before them.
    EXPECT_EQ(c.outputFilter.followNote.Index(), 0);
    EXPECT_EQ(c.outputFilter.onOff.Index(), 1);
    EXPECT_FALSE(c.outputControl.mute.IsOn());
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0.0);

    // A field that is not a number stops the record without zeroing the field.
    ReadInto(patch, c, "11 1 1 1 0.4 oops 0");
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.4);
    EXPECT_DOUBLE_EQ(c.oscillator.freqMax.Value(), 0.95);
}

TEST(FlutePatch, InvalidChoiceIndexLeavesTheWidgetButSlidersTakeAnyValue) {
    tFluteControls c;
    tFlutePatch patch;
    ReadInto(patch, c,
             "11 0 1 1 0.795 0.95 0 12.5 9 1.7 0.16 0.16 1 11 0.5 0.5 0.48 0.59 "
             "0.41 1 0.23 1 0 0.14 1 0 0 1.23 1");
    EXPECT_EQ(c.outputFilter.type.Index(), 1);
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 12.5);
}
