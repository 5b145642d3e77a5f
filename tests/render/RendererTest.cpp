// kelvora-render end to end: the program is run as a user runs it and its WAV files are read.
#include "catalog/ModuleFactory.h"
#include "catalog/PresetTexts.h"
#include "catalog/Presets.h"
#include "core/RackFile.h"

#include "RenderTool.h"
#include "SmfWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

class Renderer : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { RemoveTree(dir); }

    // Renders and reads the result; fails the test when either goes wrong.
    tWav Render(const std::string& args, const std::string& name = "out.wav") {
        last = RunRender(dir, args + " -o " + name);
        EXPECT_EQ(last.status, 0) << args << "\n" << last.err;
        tWav wav;
        EXPECT_TRUE(ReadWav(dir + "/" + name, wav)) << args;
        return wav;
    }

    std::string dir;
    tRunResult last;
};

int Peak(const tWav& wav, std::size_t from = 0) {
    int peak = 0;
    for (std::size_t i = from; i < wav.samples.size(); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(wav.samples[i])));
    return peak;
}

double Rms(const tWav& wav) {
    double sum = 0.0;
    for (std::int16_t s : wav.samples) sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(wav.samples.size(), 1)));
}

// The first frame whose sample passes the threshold, or -1.
long Onset(const tWav& wav, int threshold) {
    for (std::size_t i = 0; i < wav.samples.size(); ++i)
        if (std::abs(static_cast<int>(wav.samples[i])) > threshold)
            return static_cast<long>(i / static_cast<std::size_t>(wav.channels));
    return -1;
}

} // namespace

TEST_F(Renderer, EveryPresetPlaysTheDemoPhraseAudiblyAndUnclipped) {
    for (int index = 0; index < kPresetCount; ++index) {
        const std::string label = PresetTable()[index].label;
        const tWav wav = Render("--preset " + label);
        EXPECT_EQ(wav.format, 1) << label;
        EXPECT_EQ(wav.channels, 2) << label;
        EXPECT_EQ(wav.rate, 44100) << label;
        // 2.6 s of phrase and 2 s of tail, in whole 128-frame blocks after the silent one.
        EXPECT_EQ(wav.Frames() % 128, 0u) << label;
        EXPECT_EQ(wav.Frames(), 128u * (1 + (202860 + 127) / 128)) << label;
        EXPECT_EQ(Peak(wav, 0), Peak(wav, 256)) << label << ": the first block is not silent";
        EXPECT_GT(Rms(wav), 100.0) << label;
        EXPECT_GT(Peak(wav), 1000) << label;
        EXPECT_LT(Peak(wav), 32441) << label;
        EXPECT_NE(last.out.find("clipped samples: 0\n"), std::string::npos) << last.out;
    }
}

TEST_F(Renderer, TheSameInputRendersBitIdentically) {
    const std::string args = "--preset DistGtr --preset BrightFlute --preset AnalogTom";
    Render(args, "one.wav");
    Render(args, "two.wav");
    const std::string one = ReadFileBytes(dir + "/one.wav");
    EXPECT_GT(one.size(), 100000u);
    EXPECT_TRUE(one == ReadFileBytes(dir + "/two.wav"));
}

TEST_F(Renderer, ASavedRackRendersLikeThePresetsItWasMadeFrom) {
    std::vector<const char*> labels;
    for (int i = 0; i < kPresetCount; ++i) labels.push_back(PresetTable()[i].label);
    std::string args;
    tRack rack;
    rack.SetChannels(2);
    int channel = 0;
    for (const char* label : labels) {
        args += std::string(" --preset ") + label;
        const std::size_t before = rack.Slots().size();
        AddPreset(rack, FindPreset(label));
        ++channel;
        tRack::tGuard guard(rack);
        for (std::size_t i = before; i < rack.Slots().size(); ++i) {
            rack.Slots()[i]->SwitchOn();
            rack.Slots()[i]->SetChannel(channel);
        }
    }
    ASSERT_TRUE(SaveRackFile(rack, dir + "/song.mst"));
    const tWav presets = Render(args, "presets.wav");
    const tWav saved = Render("--rack song.mst", "rack.wav");
    EXPECT_GT(Peak(presets), 1000);
    ASSERT_EQ(presets.samples.size(), saved.samples.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < presets.samples.size(); ++i)
        differing += presets.samples[i] != saved.samples[i];
    EXPECT_EQ(differing, 0u);
}

TEST_F(Renderer, PatchFilesRenderLikeThePresetTheyWereSavedFrom) {
    for (const char* label : {"CleanGtr", "Clarinet"}) {
        tRack rack;
        AddPreset(rack, FindPreset(label));
        std::string args;
        for (int i : {1, 0}) { // instrument first, then the effects unit it feeds
            tSlot* slot = rack.Slots()[static_cast<std::size_t>(i)];
            const std::string name = std::string("my ") + label + slot->PatchExtension();
            ASSERT_TRUE(slot->SavePatchFile(dir + "/" + name));
            args += " --patch '" + name + "'";
        }
        const tWav patches = Render(args, "patches.wav");
        const tWav preset = Render(std::string("--preset ") + label, "preset.wav");
        EXPECT_GT(Peak(preset), 1000) << label;
        EXPECT_TRUE(patches.samples == preset.samples) << label;
    }
}

TEST_F(Renderer, MidiFilesOfBothTypesRenderAlikeAndFollowTempoChanges) {
    // 480 pulses per quarter. Quarter = 0.5 s until pulse 960 (1 s), then 0.25 s: pulse 1440
    // falls at 1.25 s.
    const std::vector<tSmfEvent> tempo = {SmfTempo(0, 500000), SmfTempo(960, 250000)};
    const std::vector<tSmfEvent> notes = {SmfNoteOn(1440, 0, 45, 120), SmfNoteOff(1680, 0, 45)};
    const std::vector<tSmfEvent> more = {
        {1440, {0xB1, 0x0A, 0x10}}, SmfNoteOn(1920, 1, 52, 90), SmfNoteOff(2400, 1, 52)};
    std::vector<tSmfEvent> single = tempo;
    single.insert(single.end(), notes.begin(), notes.end());
    single.insert(single.end(), more.begin(), more.end());
    WriteBytes(dir + "/zero.mid", SmfBytes(0, 480, {single}));
    WriteBytes(dir + "/one.mid", SmfBytes(1, 480, {tempo, notes, more}));

    const std::string sound = "--preset AnalogTom --preset SynBass --mono --period 64";
    const tWav zero = Render(sound + " --midi zero.mid", "zero.wav");
    const tWav one = Render(sound + " --midi one.mid", "one.wav");
    EXPECT_EQ(zero.channels, 1);
    EXPECT_GT(Peak(zero), 1000);
    EXPECT_TRUE(zero.samples == one.samples);

    // The note at 1.25 s is applied at the start of its 64-frame block (frame 55104) and
    // reaches the card one block later, after the silent one.
    const long onset = Onset(zero, 30);
    EXPECT_GE(onset, 55104 + 64);
    EXPECT_LT(onset, 55104 + 64 + 64 + 200);
    // The last event (2400 pulses = 1.75 s) plus the 2 s tail, in whole blocks.
    EXPECT_EQ(zero.Frames(), 64u * (1 + (165375 + 63) / 64));
}

TEST_F(Renderer, TheRateIsTheFilesAndEventsKeepTheirTimesInSeconds) {
    const std::vector<tSmfEvent> notes = {SmfTempo(0, 500000), SmfNoteOn(2400, 0, 57, 120),
                                          SmfNoteOff(3360, 0, 57)}; // 2.5 s .. 3.5 s
    WriteBytes(dir + "/note.mid", SmfBytes(0, 480, {notes}));
    const tWav wav = Render("--preset AnalogTom --mono --period 64 --rate 96000 --midi note.mid");
    EXPECT_EQ(wav.rate, 96000);
    EXPECT_NE(last.out.find(", mono, 96000 Hz, 16-bit\n"), std::string::npos) << last.out;
    // 3.5 s and the 2 s tail at 96 kHz, in whole blocks after the silent one; the note sounds
    // from the block after the one it falls in (frame 240000).
    EXPECT_EQ(wav.Frames(), 64u * (1 + (528000 + 63) / 64));
    const long onset = Onset(wav, 30);
    EXPECT_GE(onset, 240000 + 64);
    EXPECT_LT(onset, 240000 + 64 + 64 + 400);
}

TEST_F(Renderer, VolumeLimiterAndTail) {
    const tWav limited = Render("--preset PickBass --volume 4 --tail 0", "limited.wav");
    EXPECT_LT(Peak(limited), 32441);
    EXPECT_NE(last.out.find("clipped samples: 0\n"), std::string::npos) << last.out;
    // 2.6 s of phrase without tail.
    EXPECT_EQ(limited.Frames(), 128u * (1 + (114660 + 127) / 128));

    const tWav open = Render("--preset PickBass --volume 4 --tail 0 --no-limiter", "open.wav");
    EXPECT_EQ(Peak(open), 32768);
    EXPECT_EQ(last.out.find("clipped samples: 0\n"), std::string::npos) << last.out;

    const tWav quiet = Render("--preset PickBass --volume 0", "quiet.wav");
    EXPECT_EQ(Peak(quiet), 0);
}
