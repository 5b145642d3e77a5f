// Damaged input of every kind the program reads: patch texts, rack files and MIDI bytes,
// made by mutating good input at random (a fixed seed, so every run sees the same cases).
// Whatever the damage, reading must not crash or touch memory it does not own (the sanitizers
// watch), a module must play what it read, and what the program writes must read back the same.
#include "catalog/ModuleFactory.h"
#include "catalog/PresetTexts.h"
#include "catalog/Presets.h"
#include "core/MidiDecoder.h"
#include "core/Rack.h"
#include "core/RackFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 128;

class tMutator {
public:
    explicit tMutator(unsigned seed) : mRandom(seed) {}

    std::string Damage(std::string text) {
        const int edits = Pick(1, 4);
        for (int e = 0; e < edits; ++e) {
            if (text.empty()) text = Token();
            const std::size_t at = static_cast<std::size_t>(Pick(0, static_cast<int>(text.size())));
            switch (Pick(0, 3)) {
            case 0: // one character replaced
                if (at < text.size()) text[at] = kCharacters[Pick(0, sizeof kCharacters - 2)];
                break;
            case 1: // a span removed
                text.erase(at, static_cast<std::size_t>(Pick(1, 40)));
                break;
            case 2: // a hostile token inserted
                text.insert(at, " " + Token() + " ");
                break;
            default: // cut short
                text.resize(at);
                break;
            }
        }
        return text;
    }

    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(mRandom); }

private:
    static constexpr char kCharacters[] = "0123456789-+.eE \n\t][x";

    std::string Token() {
        static const char* const kTokens[] = {
            "1e308", "-1e308", "1e-320", "99999999999", "-2147483648", "2147483647",
            "0",     "-1",     "-1.68",  "3.5",         "]",           "[",
            "+",     "nan",    "inf",    "65535",       "-65536",      "kelvora-state"};
        return kTokens[Pick(0, sizeof kTokens / sizeof kTokens[0] - 1)];
    }

    std::mt19937 mRandom;
};

std::string Written(tSlot& slot) {
    std::ostringstream out;
    slot.WritePatch(out);
    return out.str();
}

// Plays a few blocks: a note for the instruments, a loud ramp through the effects unit.
void Play(tSlot& slot) {
    slot.SetChannels(2);
    slot.Prepare();
    slot.SwitchOn();
    slot.NoteOn(36, 127);
    for (int block = 0; block < 6; ++block) {
        if (slot.AcceptsInput()) {
            double* buffer = slot.Output();
            for (int i = 0; i < 2 * kFrames; ++i) buffer[i] = (i % 7) * 0.5 - 1.5;
        }
        slot.rendered = false;
        slot.Render(kFrames);
    }
    slot.NoteOff(36);
    slot.AllNotesOff();
}

struct tPatchCase {
    int type;
    const char* text;
};

std::vector<tPatchCase> PatchCases() {
    std::vector<tPatchCase> cases;
    for (int i = 0; i < kPresetCount; ++i) {
        const tPresetTexts& preset = PresetTable()[i];
        if (preset.effects) cases.push_back({kEffectsModule, preset.effects});
        if (preset.string) cases.push_back({kStringModule, preset.string});
        if (preset.flute) cases.push_back({kFluteModule, preset.flute});
    }
    return cases;
}

// Counts the events and checks that each carries values the modules can take.
class tCheckingSink : public tMidiSink {
public:
    void NoteOn(int channel, int key, int velocity) override {
        Check(channel, key, 0, 127);
        EXPECT_GE(velocity, 1);
        EXPECT_LE(velocity, 127);
    }
    void NoteOff(int channel, int key) override { Check(channel, key, 0, 127); }
    void Controller(int channel, int number, int value) override {
        Check(channel, number, -1, 127);
        EXPECT_GE(value, 0);
        EXPECT_LE(value, number == -1 ? 16383 : 127);
    }
    void SetPan(int channel, int value) override { Check(channel, value, 0, 127); }
    void AllNotesOff() override { ++events; }
    void ChannelNotesOff(int channel) override { Check(channel, 0, 0, 127); }
    long events = 0;

private:
    void Check(int channel, int value, int lo, int hi) {
        ++events;
        EXPECT_GE(channel, 0);
        EXPECT_LE(channel, 15);
        EXPECT_GE(value, lo);
        EXPECT_LE(value, hi);
    }
};

} // namespace

TEST(DamagedInput, PatchTextsOfEveryModuleReadPlayAndWriteBackStably) {
    tMutator mutator(777);
    const std::vector<tPatchCase> cases = PatchCases();
    for (int round = 0; round < 30; ++round) {
        for (const tPatchCase& c : cases) {
            const std::string damaged = mutator.Damage(c.text);
            SCOPED_TRACE("type " + std::to_string(c.type) + ", text:\n" + damaged);
            std::unique_ptr<tSlot> slot = CreateModule(c.type, 10, 10);
            std::istringstream in(damaged);
            slot->ReadPatch("damaged.txt", in);
            const std::string first = Written(*slot);
            Play(*slot);

            // The program's own text of whatever was read reads back to itself.
            std::unique_ptr<tSlot> again = CreateModule(c.type, 10, 10);
            std::istringstream back(first);
            again->ReadPatch("again", back);
            EXPECT_EQ(Written(*again), first);
        }
    }
}

TEST(DamagedInput, RackFilesLoadWhatTheyCanAndSaveAReadableRack) {
    tRack source;
    for (const char* label : {"CleanGtr", "Clarinet", "AnalogTom"})
        AddPreset(source, FindPreset(label));
    std::ostringstream saved;
    ASSERT_TRUE(SaveRack(source, saved));

    tMutator mutator(99);
    testing::internal::CaptureStderr();
    for (int round = 0; round < 100; ++round) {
        const std::string damaged = mutator.Damage(saved.str());
        SCOPED_TRACE("rack file:\n" + damaged);
        tRack rack;
        rack.SetChannels(2);
        std::istringstream in(damaged);
        const tRackLoadResult loaded = LoadRack(rack, in, false, CreateModule);
        EXPECT_EQ(static_cast<std::size_t>(loaded.modules), rack.Slots().size());
        {
            tRack::tGuard guard(rack);
            for (tSlot* slot : rack.Slots()) slot->SwitchOn();
        }
        rack.NoteOn(0, 48, 100);
        for (int block = 0; block < 4; ++block) rack.Render(kFrames);

        // Whatever was loaded is saved as a file that loads completely.
        std::ostringstream resaved;
        ASSERT_TRUE(SaveRack(rack, resaved));
        tRack copy;
        std::istringstream back(resaved.str());
        const tRackLoadResult reloaded = LoadRack(copy, back, false, CreateModule);
        EXPECT_EQ(reloaded.status, tRackFileStatus::kOk);
        EXPECT_EQ(copy.Slots().size(), rack.Slots().size());
    }
    testing::internal::GetCapturedStderr();
}

TEST(DamagedInput, RandomMidiBytesGiveOnlyWellFormedEvents) {
    tMutator mutator(42);
    tCheckingSink sink;
    tMidiDecoder decoder(sink);
    for (int i = 0; i < 200000; ++i) decoder.Feed(static_cast<std::uint8_t>(mutator.Pick(0, 255)));
    EXPECT_GT(sink.events, 10000);
}
