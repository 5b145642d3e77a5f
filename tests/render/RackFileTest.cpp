#include "core/RackFile.h"

#include "TestModule.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::unique_ptr<tSlot> MakeTestModule(int type, int x, int y) {
    if (type < 1 || type > 3) return nullptr;
    return std::make_unique<tTestModule>(type, x, y);
}

tTestModule* At(tRack& rack, std::size_t index) {
    return static_cast<tTestModule*>(rack.Slots().at(index));
}

class RackFile : public ::testing::Test {
protected:
    void SetUp() override { tSlot::ResetIdCounter(); }

    // An effects unit (id 1) fed by a string synthesizer (id 2), as a preset builds them.
    void BuildPair(tRack& rack) {
        auto* effects = new tTestModule(kEffectsModule, 160, 45);
        effects->SetPatch({"15", "0", "130"});
        rack.Insert(effects);
        auto* string = new tTestModule(kStringModule, 50, 45);
        string->SetPatch({"19", "4.2", "0.984"});
        rack.Connect(string, effects);
        rack.Insert(string);
    }

    tRackLoadResult Load(tRack& rack, const std::string& text, bool insert = false) {
        std::istringstream in(text);
        testing::internal::CaptureStderr();
        const tRackLoadResult result = LoadRack(rack, in, insert, MakeTestModule);
        messages = testing::internal::GetCapturedStderr();
        return result;
    }

    std::string Save(tRack& rack) {
        std::ostringstream out;
        EXPECT_TRUE(SaveRack(rack, out));
        return out.str();
    }

    std::string messages;
};

const char kPairFile[] = "kelvora-state 2\n"
                         "1\n"
                         "[ 3 160 45 0 0 8\n"
                         "<1>\n"
                         "15 0 130\n"
                         "]\n"
                         "2\n"
                         "[ 1 50 45 0 0 8\n"
                         "<2>\n"
                         "19 4.2 0.984\n"
                         "]\n"
                         "+ 2 1\n";

} // namespace

TEST_F(RackFile, EffectsUnitFedByAStringSynthesizerIsWrittenInRackOrder) {
    tRack rack;
    BuildPair(rack);
    EXPECT_EQ(Save(rack), kPairFile);

    tRack empty;
    EXPECT_EQ(Save(empty), "kelvora-state 0\n");
    EXPECT_EQ(Load(empty, "kelvora-state 0\n").status, tRackFileStatus::kOk);
    EXPECT_EQ(messages, "");
    EXPECT_TRUE(empty.Slots().empty());
}

TEST_F(RackFile, LoadClearsTheRackAndRestoresModulesAndConnections) {
    tRack rack;
    rack.Insert(new tTestModule(kFluteModule, 10, 10));
    rack.Insert(new tTestModule(kFluteModule, 20, 20));
    const tRackLoadResult result = Load(rack, kPairFile);
    EXPECT_EQ(result.status, tRackFileStatus::kOk);
    EXPECT_EQ(result.modules, 2);
    ASSERT_EQ(rack.Slots().size(), 2u);
    tTestModule* effects = At(rack, 0);
    tTestModule* string = At(rack, 1);
    EXPECT_EQ(effects->Id(), 1);
    EXPECT_EQ(string->Id(), 2);
    EXPECT_EQ(effects->Type(), kEffectsModule);
    EXPECT_EQ(string->X(), 50);
    EXPECT_EQ(string->Y(), 45);
    EXPECT_EQ(effects->Patch(), (std::vector<std::string>{"15", "0", "130"}));
    ASSERT_EQ(string->Outputs().size(), 1u);
    EXPECT_EQ(string->Outputs()[0], effects);
    // Read back and written again, the file is the same.
    EXPECT_EQ(Save(rack), kPairFile);
}

TEST_F(RackFile, InsertKeepsTheRackAndGivesFreshIds) {
    tRack rack;
    BuildPair(rack);
    EXPECT_EQ(Load(rack, kPairFile, true).status, tRackFileStatus::kOk);
    ASSERT_EQ(rack.Slots().size(), 4u);
    EXPECT_EQ(At(rack, 2)->Id(), 3);
    EXPECT_EQ(At(rack, 3)->Id(), 4);
    // The new string synthesizer feeds the new effects unit, not the old one.
    ASSERT_EQ(At(rack, 3)->Outputs().size(), 1u);
    EXPECT_EQ(At(rack, 3)->Outputs()[0], At(rack, 2));
    EXPECT_EQ(At(rack, 0)->Inputs().size(), 1u);
    EXPECT_EQ(Save(rack).substr(0, 16), "kelvora-state 4\n");
}

TEST_F(RackFile, OnStateChannelPolyphonyAndCaptionAreRestored) {
    tRack rack;
    auto* on = new tTestModule(kStringModule, 5, 6);
    auto* off = new tTestModule(kFluteModule, 7, 8);
    rack.Insert(on);
    rack.Insert(off);
    {
        tRack::tGuard guard(rack);
        on->SwitchOn();
        on->SetChannel(16);
        on->SetPolyphony(24);
        off->SetChannel(5);
        std::istringstream none;
        off->ReadPatch("/patches/my soft flute.flt", none);
    }
    const std::string text = Save(rack);
    EXPECT_NE(text.find("[ 1 5 6 15 1 24\n<1>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nmy_soft_flute\n"), std::string::npos) << text;

    tRack loaded;
    EXPECT_EQ(Load(loaded, text).status, tRackFileStatus::kOk);
    ASSERT_EQ(loaded.Slots().size(), 2u);
    EXPECT_TRUE(At(loaded, 0)->IsOn());
    EXPECT_EQ(At(loaded, 0)->GetChannel(), 15);
    EXPECT_EQ(At(loaded, 0)->GetPolyphony(), 24);
    EXPECT_FALSE(At(loaded, 1)->IsOn());
    EXPECT_EQ(At(loaded, 1)->GetChannel(), 4);
    EXPECT_EQ(At(loaded, 1)->Caption(), "my_soft_flute");
}

TEST_F(RackFile, HeaderPrefixAndCaptionWithADotAndLongCaptions) {
    tRack rack;
    const std::string longName(150, 'x');
    const std::string text = "kelvora-state-v2 1\n1\n[ 1 0 0 0 0 8\norgan.old\n19 1\n]\n"
                             "2\n[ 2 0 0 0 0 1\n" +
                             longName + " 11 5\n]\n";
    EXPECT_EQ(Load(rack, text).status, tRackFileStatus::kOk);
    ASSERT_EQ(rack.Slots().size(), 2u);
    EXPECT_EQ(At(rack, 0)->Caption(), "organ");
    EXPECT_EQ(At(rack, 1)->Caption(), std::string(kMaxCaption, 'x'));
    // The end of the long caption was read with it, not taken for patch text.
    EXPECT_EQ(At(rack, 1)->Patch(), (std::vector<std::string>{"11", "5"}));
    EXPECT_EQ(RackCaption(""), "_");
    EXPECT_EQ(RackCaption("a\tb c"), "a_b_c");
}

TEST_F(RackFile, NotARackFileLeavesTheRackAlone) {
    tRack rack;
    BuildPair(rack);
    for (const char* text : {"", "kelvora-stat 2\n", "hello world\n"}) {
        EXPECT_EQ(Load(rack, text).status, tRackFileStatus::kNotRackFile) << text;
        EXPECT_EQ(messages, "not a Kelvora File!\n");
        EXPECT_EQ(rack.Slots().size(), 2u);
    }
}

TEST_F(RackFile, DamagedFilesKeepWhatWasReadBefore) {
    const std::string first = "kelvora-state 3\n1\n[ 3 0 0 0 1 1\nfx\n15 0 100\n]\n";
    {
        // Truncated inside the second record: that module is dropped without a message.
        tRack rack;
        const auto result = Load(rack, first + "2\n[ 1 0 0 0 1 8\nstr\n19 4.2 0.9");
        EXPECT_EQ(result.status, tRackFileStatus::kEndsInRecord);
        EXPECT_EQ(messages, "");
        ASSERT_EQ(rack.Slots().size(), 1u);
        EXPECT_EQ(At(rack, 0)->Caption(), "fx");
    }
    {
        // A garbage record without "[": the modules before stay, no connections are read.
        tRack rack;
        const auto result = Load(rack, first + "2\nthis is not a record\n+ 2 1\n");
        EXPECT_EQ(result.status, tRackFileStatus::kSyntaxError);
        EXPECT_EQ(messages, "syntax error in file\n");
        EXPECT_EQ(rack.Slots().size(), 1u);
    }
    {
        // Unreadable numbers and an unknown module type: those records are skipped up to
        // their "]" and the following record and the connection still load.
        tRack rack;
        const auto result = Load(rack, first + "2\n[ 1 x 0 0 0 8\nbad\n19 1\n]\n"
                                               "3\n[ 9 0 0 0 0 8\nalien\n1 2 3\n]\n"
                                               "4\n[ 1 0 0 0 1 8\nstr\n19 4.2\n]\n+ 4 1\n");
        EXPECT_EQ(result.status, tRackFileStatus::kOk);
        EXPECT_EQ(result.skipped, 2);
        ASSERT_EQ(rack.Slots().size(), 2u);
        EXPECT_EQ(At(rack, 1)->Caption(), "str");
        ASSERT_EQ(At(rack, 1)->Outputs().size(), 1u);
        EXPECT_EQ(At(rack, 1)->Outputs()[0], At(rack, 0));
    }
    {
        // A record without its "]" swallows the next one; the one after loads.
        tRack rack;
        const auto result = Load(rack, first + "2\n[ 1 0 0 0 0 8\nlost\n19 1\n"
                                               "3\n[ 2 0 0 0 0 1\nalso\n11 2\n]\n"
                                               "4\n[ 2 0 0 0 0 1\nfound\n11 3\n]\n");
        EXPECT_EQ(result.status, tRackFileStatus::kOk);
        ASSERT_EQ(rack.Slots().size(), 3u);
        EXPECT_EQ(At(rack, 1)->Caption(), "lost");
        EXPECT_EQ(At(rack, 2)->Caption(), "found");
    }
}

TEST_F(RackFile, OverlongPatchTextIsCutAndTheRestOfTheRecordSkipped) {
    std::string patch = "19";
    while (patch.size() < kMaxPatchText + 500) patch += " 1.5";
    tRack rack;
    const auto result = Load(rack, "kelvora-state 2\n1\n[ 1 0 0 0 0 8\nlong\n" + patch +
                                       "\n]\n2\n[ 3 0 0 0 0 1\nnext\n15 0 1\n]\n+ 1 2\n");
    EXPECT_EQ(result.status, tRackFileStatus::kOk);
    ASSERT_EQ(rack.Slots().size(), 2u);
    std::size_t length = 0;
    for (const std::string& token : At(rack, 0)->Patch()) length += token.size() + 1;
    EXPECT_LE(length, kMaxPatchText + 1);
    EXPECT_GT(length, kMaxPatchText - 5);
    EXPECT_EQ(At(rack, 1)->Caption(), "next");
    EXPECT_EQ(At(rack, 0)->Outputs().size(), 1u);
}

TEST_F(RackFile, FilesThatCannotBeWrittenOrRead) {
    tRack rack;
    BuildPair(rack);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveRackFile(rack, "/nonexistent-dir/rack"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't write file");
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadRackFile(rack, "/nonexistent-dir/rack.mst", false, MakeTestModule).status,
              tRackFileStatus::kCannotOpen);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't read file");
    EXPECT_EQ(rack.Slots().size(), 2u);

    char dir[] = "/tmp/kelvora-rack-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/song";
    EXPECT_TRUE(SaveRackFile(rack, path));
    tRack loaded;
    tSlot::ResetIdCounter();
    EXPECT_EQ(LoadRackFile(loaded, path + ".mst", false, MakeTestModule).status,
              tRackFileStatus::kOk);
    EXPECT_EQ(Save(loaded), kPairFile);
    std::remove((path + ".mst").c_str());
    rmdir(dir);
}
