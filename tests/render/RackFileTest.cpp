#include "core/RackFile.h"

#include "TestModule.h"
#include "core/TextFile.h"

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
    EXPECT_EQ(RackCaption("]"), "_"); // a record's caption never reads as its end
}

TEST_F(RackFile, NotARackFileLeavesTheRackAlone) {
    tRack rack;
    BuildPair(rack);
    for (const char* text : {"", "kelvora-stat 2\n", "hello world\n"}) {
        EXPECT_EQ(Load(rack, text).status, tRackFileStatus::kNotRackFile) << text;
        EXPECT_EQ(rack.Slots().size(), 2u);
    }
}

TEST_F(RackFile, DamagedFilesAreRefusedWithTheirLineAndTheRackStaysAsItWas) {
    const std::string first = "kelvora-state 3\n1\n[ 3 0 0 0 1 1\nfx\n15 0 100\n]\n";
    const struct {
        std::string text;
        tRackFileStatus status;
        const char* message;
    } damaged[] = {
        {first + "2\n[ 1 0 0 0 1 8\nstr\n19 4.2 0.9", tRackFileStatus::kEndsInRecord,
         "line 10: the file ends inside the record of module 2 (line 8); expected \"]\""},
        {first + "2\nthis is not a record\n+ 2 1\n", tRackFileStatus::kSyntaxError,
         "syntax error in line 8: expected \"[\" to open the record of module 2"},
        {first + "2\n[ 1 x 0 0 0 8\nbad\n19 1\n]\n", tRackFileStatus::kSyntaxError,
         "syntax error in line 8: expected the x position of module 2 (a whole number)"},
        {first + "2\n[ 1 0 0 0 0 8\nlost\n19 1\n3\n[ 2 0 0 0 0 1\nalso\n11 2\n]\n",
         tRackFileStatus::kSyntaxError,
         "syntax error in line 12: expected \"]\" to close the record of module 2 (line 8) "
         "before the next one"},
        {first + "+ 1 x\n", tRackFileStatus::kSyntaxError,
         "syntax error in line 7: expected the number of a target module of module 1"},
        {"kelvora-state\n", tRackFileStatus::kSyntaxError,
         "syntax error in line 2: expected the number of the last module after "
         "\"kelvora-state\""},
    };
    for (const auto& file : damaged) {
        SCOPED_TRACE(file.text);
        tSlot::ResetIdCounter();
        tRack rack;
        BuildPair(rack);
        bool cleared = false;
        std::istringstream in(file.text);
        const tRackLoadResult result =
            LoadRack(rack, in, false, MakeTestModule, [&] { cleared = true; });
        EXPECT_EQ(result.status, file.status);
        EXPECT_EQ(result.message, file.message);
        EXPECT_FALSE(cleared);
        EXPECT_EQ(Save(rack), kPairFile); // every module, id and connection as it was
    }
    // A record of a kind no module has is skipped; the rest loads.
    tRack rack;
    const auto result = Load(rack, first + "3\n[ 9 0 0 0 0 8\nalien\n1 2 3\n]\n"
                                           "4\n[ 1 0 0 0 1 8\nstr\n19 4.2\n]\n+ 4 1\n");
    EXPECT_EQ(result.status, tRackFileStatus::kOk);
    EXPECT_EQ(result.skipped, 1);
    ASSERT_EQ(rack.Slots().size(), 2u);
    ASSERT_EQ(At(rack, 1)->Outputs().size(), 1u);
    EXPECT_EQ(At(rack, 1)->Outputs()[0], At(rack, 0));
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
    // Each message is a line of its own that names its file.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveRackFile(rack, "/nonexistent-dir/rack"));
    EXPECT_FALSE(SaveRackFile(rack, "/nonexistent-dir/other"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't write file /nonexistent-dir/rack.mst (No such file or directory)\n"
              "Can't write file /nonexistent-dir/other.mst (No such file or directory)\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadRackFile(rack, "/nonexistent-dir/rack.mst", false, MakeTestModule).status,
              tRackFileStatus::kCannotOpen);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't read file /nonexistent-dir/rack.mst (No such file or directory)\n");
    EXPECT_EQ(rack.Slots().size(), 2u);

    char dir[] = "/tmp/kelvora-rack-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/song";
    std::string bad = path + "-bad.mst";
    ASSERT_TRUE(WriteTextFile(bad, "hello\n"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadRackFile(rack, bad, false, MakeTestModule).status, tRackFileStatus::kNotRackFile);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              bad + ": not a Kelvora rack file (line 1: expected \"kelvora-state\" at the "
                    "start)\n");
    std::remove(bad.c_str());
    EXPECT_TRUE(SaveRackFile(rack, path));
    tRack loaded;
    tSlot::ResetIdCounter();
    EXPECT_EQ(LoadRackFile(loaded, path + ".mst", false, MakeTestModule).status,
              tRackFileStatus::kOk);
    EXPECT_EQ(Save(loaded), kPairFile);
    std::remove((path + ".mst").c_str());
    rmdir(dir);
}
