#include "flute/FlutePatch.h"
#include "catalog/PresetTexts.h"
#include "flute/FluteControls.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

const char* PresetFluteText(const char* label) {
    return PresetTable()[FindPreset(label)].flute;
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

} // namespace

TEST(FlutePatch, NewModuleWritesItsRecordInTheCurrentFormat) {
    tFluteControls c;
    tFlutePatch patch;
    EXPECT_EQ(WriteFrom(patch, c), "11\n-1.68 0 1 1 0.795 0.95 0 2.38 1 1.7 0.16 0.16 1 11 0.5 0.5 "
                                   "0.48 0.59 0.41 1 0.23 1 0 0.14 1 0 0 1.23 1 1 \n");
    EXPECT_TRUE(c.midiController.IsOn());
    EXPECT_EQ(c.midiChannel.Entries().back(), "16");
    EXPECT_EQ(c.outputFilter.onOff.Entries()[1], "  12 dB");
}

TEST(FlutePatch, ClarinetPresetReadsTwentySevenFieldsAndKeepsABoreScaleInOneToFive) {
    for (double previous : {4.0, 8.0}) {
        tFluteControls c;
        tFlutePatch patch;
        c.oscillator.boreScale.Set(previous);
        patch.Capture(c);
        ReadInto(patch, c, PresetFluteText("Clarinet"));
        EXPECT_DOUBLE_EQ(c.pressure.attack.Value(), 2.0);
        EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.489);
        EXPECT_EQ(c.oscillator.type.Index(), 0);
        EXPECT_EQ(c.oscillator.filterOrder.Index(), 1);
        EXPECT_DOUBLE_EQ(c.pressure.tremoloFreq.Value(), 1.23); // field 27, the last
        EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), previous <= 5.0 ? previous : 1.0);
        EXPECT_FALSE(c.midiController.IsOn()); // no marker: controllers off
        EXPECT_EQ(WriteFrom(patch, c),
                  std::string("11\n-1.68 2 1 1 0.489 0.95 1 3.52 1 1.29 0.16 0.292 1 11 0.53 0.5 "
                              "0.48 0.73 0.441 0 0.23 1 0 0.21 0 0 1 1.23 ") +
                      (previous <= 5.0 ? "4" : "1") + " 0 \n");
    }
}

TEST(FlutePatch, BrightFluteReadsAndWritesBackWithMarkerAndField29) {
    tFluteControls c;
    tFlutePatch patch;
    ReadInto(patch, c, PresetFluteText("BrightFlute"));
    EXPECT_DOUBLE_EQ(c.oscillator.embroSize.Value(), 0.25);
    EXPECT_EQ(c.outputFilter.onOff.Index(), 1);
    EXPECT_EQ(WriteFrom(patch, c), "11\n-1.68 0 1 1 0.795 0.95 0 3.14 1 1.7 0.36 0.452 0 20 1 "
                                   "0.25 0.48 0.59 0.625 1 0.23 1 1 0.24 1 0 0 1.23 1 0 \n");
}

TEST(FlutePatch, WrittenRecordReadsBackToTheSameWidgets) {
    tFluteControls a;
    tFlutePatch patchA;
    a.oscillator.frequency.Set(0.123);
    a.oscillator.scale100.Set(1);
    a.breath.followNote.Set(4);
    a.outputFilter.followNote.Set(2);
    a.oscillator.boreScale.Set(5);
    a.midiController.Set(0);
    const std::string text = WriteFrom(patchA, a);

    tFluteControls b;
    tFlutePatch patchB;
    ReadInto(patchB, b, text);
    EXPECT_EQ(WriteFrom(patchB, b), text);
    EXPECT_EQ(b.breath.followNote.Index(), 4);
    EXPECT_FALSE(b.midiController.IsOn());

    // A bore scale the window allows but a file does not reads back as 1.
    b.oscillator.boreScale.Set(7.0);
    ReadInto(patchB, b, WriteFrom(patchB, b));
    EXPECT_DOUBLE_EQ(b.oscillator.boreScale.Value(), 1.0);
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
}

TEST(FlutePatch, ShortOrBrokenRecordKeepsTheMirrorBeyondWhatItHolds) {
    tFluteControls c;
    tFlutePatch patch;
    c.outputFilter.frequency.Set(7.0); // a widget moved since the last read or write
    ReadInto(patch, c, "11 5 1 1 0.3");
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.3);
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 2.38); // the mirror's, not the widget's
    // The reader's own defaults for a record that ends before them.
    EXPECT_EQ(c.outputFilter.followNote.Index(), 0);
    EXPECT_EQ(c.outputFilter.onOff.Index(), 1);
    EXPECT_FALSE(c.outputControl.mute.IsOn());
    EXPECT_DOUBLE_EQ(c.outputFilter.resonance.Value(), 0.0);

    // A word that is no number ends the record without zeroing the field.
    ReadInto(patch, c, "11 1 1 1 0.4 oops 0");
    EXPECT_DOUBLE_EQ(c.oscillator.freqMax.Value(), 0.95);

    // Sliders take any value; a choice ignores an index that names no entry.
    ReadInto(patch, c, "11 0 1 1 0.795 0.95 0 12.5 9");
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 12.5);
    EXPECT_EQ(c.outputFilter.type.Index(), 1);
}
