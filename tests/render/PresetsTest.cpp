#include "catalog/Presets.h"
#include "catalog/ModuleFactory.h"
#include "core/MidiDecoder.h"
#include "core/RackFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

class Presets : public ::testing::Test {
protected:
    void SetUp() override { tSlot::ResetIdCounter(); }
};

std::string Saved(tRack& rack) {
    std::ostringstream out;
    SaveRack(rack, out);
    return out.str();
}

} // namespace

TEST_F(Presets, AnalogTomIsAStringSynthesizerStraightIntoTheMix) {
    tRack rack;
    AddPreset(rack, FindPreset("AnalogTom"));
    ASSERT_EQ(rack.Slots().size(), 1u);
    const tSlot* tom = rack.Slots()[0];
    EXPECT_EQ(tom->Type(), kStringModule);
    EXPECT_EQ(tom->X(), 50);
    EXPECT_EQ(tom->Y(), 45);
    EXPECT_EQ(tom->Caption(), "AnalogTom");
    EXPECT_TRUE(tom->Outputs().empty());
    EXPECT_FALSE(tom->IsOn());
    EXPECT_EQ(tom->GetChannel(), 0);
}

TEST_F(Presets, ClarinetWiresAFluteIntoItsEffectsUnit) {
    tRack rack;
    AddPreset(rack, FindPreset("Clarinet"));
    ASSERT_EQ(rack.Slots().size(), 2u);
    tSlot* effects = rack.Slots()[0];
    tSlot* flute = rack.Slots()[1];
    EXPECT_EQ(effects->Type(), kEffectsModule);
    EXPECT_EQ(effects->Id(), 1);
    EXPECT_EQ(effects->X(), 160);
    EXPECT_EQ(flute->Type(), kFluteModule);
    EXPECT_EQ(flute->Id(), 2);
    EXPECT_EQ(flute->X(), 50);
    ASSERT_EQ(flute->Outputs().size(), 1u);
    EXPECT_EQ(flute->Outputs()[0], effects);
    EXPECT_EQ(effects->Caption(), "Clarinet");
    EXPECT_EQ(flute->Caption(), "Clarinet");

    const std::string text = Saved(rack);
    EXPECT_EQ(text.rfind("kelvora-state 2\n1\n[ 3 160 45 0 0 1\nClarinet\n15\n", 0), 0u) << text;
    EXPECT_NE(text.find("]\n2\n[ 2 50 45 0 0 1\nClarinet\n11\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 6), "+ 2 1\n");
}

TEST_F(Presets, ChoosingAPresetTwiceAddsASecondPairAndPickBassIsFingdBass) {
    tRack rack;
    const int pickBass = FindPreset("PickBass");
    AddPreset(rack, pickBass);
    AddPreset(rack, pickBass);
    ASSERT_EQ(rack.Slots().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rack.Slots()[i]->Caption(), "FingdBass");
        EXPECT_EQ(rack.Slots()[i]->X(), i % 2 == 0 ? 160 : 50);
    }
    EXPECT_NE(rack.Slots()[1]->Title().find("(FingdBass)"), std::string::npos);
    ASSERT_EQ(rack.Slots()[3]->Outputs().size(), 1u);
    EXPECT_EQ(rack.Slots()[3]->Outputs()[0], rack.Slots()[2]);
    EXPECT_EQ(rack.Slots()[2]->Inputs().size(), 1u);
    AddPreset(rack, -1);
    AddPreset(rack, kPresetCount);
    EXPECT_EQ(rack.Slots().size(), 4u);
}

TEST_F(Presets, ModulesAreMadeByTypeAndPatchExtension) {
    for (int type = kStringModule; type <= kEffectsModule; ++type) {
        const std::unique_ptr<tSlot> slot = CreateModule(type, 3, 4);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->Type(), type);
        EXPECT_EQ(slot->AcceptsInput(), type == kEffectsModule);
        EXPECT_FALSE(slot->IsOn());
        EXPECT_EQ(ModuleTypeOfPatch(std::string("dir.x/a") + slot->PatchExtension()), type);
    }
    EXPECT_EQ(CreateModule(0, 0, 0), nullptr);
    EXPECT_EQ(CreateModule(4, 0, 0), nullptr);
    EXPECT_EQ(ModuleTypeOfPatch("dir.pst/patch"), 0);
    EXPECT_EQ(ModuleTypeOfPatch("patch.mst"), 0);
}

std::string PatchOf(tSlot& slot) {
    std::ostringstream out;
    slot.WritePatch(out);
    return out.str();
}

// Every preset's rack, written and read back: each module gets exactly the patch text its
// record carries (it writes what a module reading that text directly writes), keeps its
// place, state and channel, and the wiring is the same.
TEST_F(Presets, EveryPresetSurvivesTheRackFile) {
    for (int index = 0; index < kPresetCount; ++index) {
        const char* label = PresetTable()[index].label;
        tSlot::ResetIdCounter();
        tRack rack;
        AddPreset(rack, index);
        {
            tRack::tGuard guard(rack);
            for (tSlot* slot : rack.Slots()) {
                slot->SwitchOn();
                slot->SetChannel(3);
            }
        }
        const std::string text = Saved(rack);
        tRack loaded;
        std::istringstream in(text);
        testing::internal::CaptureStderr();
        const tRackLoadResult result = LoadRack(loaded, in, false, CreateModule);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(result.status, tRackFileStatus::kOk);
        ASSERT_EQ(loaded.Slots().size(), rack.Slots().size()) << label;

        std::size_t at = 0;
        for (std::size_t i = 0; i < rack.Slots().size(); ++i) {
            tSlot* original = rack.Slots()[i];
            tSlot* copy = loaded.Slots()[i];
            EXPECT_EQ(copy->Type(), original->Type()) << label;
            EXPECT_EQ(copy->X(), original->X()) << label;
            EXPECT_TRUE(copy->IsOn()) << label;
            EXPECT_EQ(copy->GetChannel(), 2) << label;
            EXPECT_EQ(copy->GetPolyphony(), original->GetPolyphony()) << label;
            EXPECT_EQ(copy->Caption(), PresetTable()[index].name);
            EXPECT_EQ(copy->Outputs().size(), original->Outputs().size()) << label;
            // The record's patch text: after the caption line, up to "]".
            const std::string caption = "\n" + original->Caption() + "\n";
            at = text.find(caption, at);
            ASSERT_NE(at, std::string::npos);
            const std::size_t begin = at + caption.size();
            at = text.find(']', begin);
            const std::unique_ptr<tSlot> direct = CreateModule(original->Type(), 0, 0);
            std::istringstream record(text.substr(begin, at - begin));
            direct->ReadPatch(original->Caption().c_str(), record);
            EXPECT_EQ(PatchOf(*copy), PatchOf(*direct)) << label;
            EXPECT_EQ(copy->Title(), direct->Title()) << label;
        }
    }
}

// Every preset, switched on and played through the rack in stereo, sounds and never produces
// a value that is not a finite number.
TEST_F(Presets, EveryPresetSoundsAndStaysFinite) {
    constexpr int kFrames = 128;
    for (int index = 0; index < kPresetCount; ++index) {
        tRack rack;
        rack.SetChannels(2);
        AddPreset(rack, index);
        {
            tRack::tGuard guard(rack);
            for (tSlot* slot : rack.Slots()) slot->SwitchOn();
        }
        tMidiDecoder decoder(rack);
        double energy = 0.0;
        bool finite = true;
        for (int block = 0; block < 700; ++block) {
            if (block == 10) {
                const std::uint8_t chord[] = {0x90, 48, 100, 55, 90, 64, 127};
                decoder.Feed(chord, sizeof chord);
            }
            if (block == 400) {
                const std::uint8_t release[] = {0x80, 48, 0, 55, 0, 64, 0};
                decoder.Feed(release, sizeof release);
            }
            const double* mix = rack.Render(kFrames);
            for (int i = 0; i < 2 * kFrames; ++i) {
                finite = finite && std::isfinite(mix[i]);
                energy += mix[i] * mix[i];
            }
        }
        EXPECT_TRUE(finite) << PresetTable()[index].label;
        EXPECT_GT(energy, 1.0) << PresetTable()[index].label;
    }
}
