// Reading and writing the user's files safely: readers take only regular files of a sensible
// size, a save that fails part-way leaves the previous file as it was, and every save carries
// the extension of its format.

#include "RenderTool.h"

#include "catalog/ModuleFactory.h"
#include "core/Config.h"
#include "core/Path.h"
#include "core/RackFile.h"
#include "core/Slot.h"
#include "core/TextFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <functional>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::string PatchText(tSlot& slot) {
    std::ostringstream out;
    slot.WritePatch(out);
    return out.str();
}

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) names.insert(entry->d_name);
        closedir(d);
    }
    return names;
}

// Runs work in a child process that may write files of at most limit bytes (a write beyond
// fails with EFBIG instead of killing the process); returns the child's exit status.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& work) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{limit, limit};
        setrlimit(RLIMIT_FSIZE, &cap);
        _exit(work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileSafety : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempDir(); }
    void TearDown() override { RemoveTree(dir); }
    std::string At(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

} // namespace

TEST_F(FileSafety, ReadersTakeOnlyRegularFilesOfASensibleSize) {
    ASSERT_EQ(symlink("/dev/zero", At("zero.pst").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", At("zero.mst").c_str()), 0);
    ASSERT_EQ(mkfifo(At("pipe.flt").c_str(), 0600), 0);
    ASSERT_TRUE(WriteTextFile(At("big.efx"), ""));
    ASSERT_EQ(truncate(At("big.efx").c_str(), kMaxPatchFileSize + 1), 0);
    ASSERT_TRUE(WriteTextFile(At("huge.pst"), ""));
    ASSERT_EQ(truncate(At("huge.pst").c_str(), 300 << 20), 0);
    ASSERT_TRUE(WriteTextFile(At("big.mst"), "kelvora-state 0\n"));
    ASSERT_EQ(truncate(At("big.mst").c_str(), kMaxRackFileSize + 1), 0);

    // Patches: refused with the reason, the module left as it was.
    struct {
        int type;
        const char* name;
        const char* reason;
    } const refusals[] = {{kStringModule, "zero.pst", "not a regular file"},
                          {kFluteModule, "pipe.flt", "not a regular file"},
                          {kEffectsModule, "big.efx", "larger than 65536 bytes"}};
    for (const auto& refusal : refusals) {
        std::unique_ptr<tSlot> slot = CreateModule(refusal.type, 0, 0);
        const std::string before = PatchText(*slot);
        const std::string caption = slot->Caption();
        std::string error;
        EXPECT_FALSE(slot->LoadPatchFile(At(refusal.name), error));
        EXPECT_EQ(error,
                  At(refusal.name) + " is not a Kelvora patch file (" + refusal.reason + ")");
        EXPECT_EQ(PatchText(*slot), before);
        EXPECT_EQ(slot->Caption(), caption);
    }

    // Rack files: refused before anything is cleared.
    tRack rack;
    rack.Insert(CreateModule(kStringModule, 10, 10).release());
    for (const char* name : {"zero.mst", "big.mst"}) {
        testing::internal::CaptureStderr();
        const tRackLoadResult result = LoadRackFile(rack, At(name), false, CreateModule);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(result.status, tRackFileStatus::kRefused) << name;
        EXPECT_NE(result.message.find(At(name) + " is not a Kelvora rack file ("),
                  std::string::npos)
            << result.message;
        EXPECT_EQ(rack.Slots().size(), 1u);
    }

    // The rc file: the defaults stay, with a message.
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", dir.c_str(), 1);
    ASSERT_EQ(symlink("/dev/zero", At(".kelvorarc").c_str()), 0);
    tConfig config;
    config.SetPeriod(64);
    std::string error;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config.Read(error));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, At(".kelvorarc") + " is not a Kelvora rc file (not a regular file)");
    EXPECT_EQ(config.Period(), tConfig::kDefaultPeriod);
    unlink(At(".kelvorarc").c_str());
    EXPECT_TRUE(config.Read(error)); // no rc file at all is no error
    setenv("HOME", savedHome.c_str(), 1);

    // The renderer refuses them with status 1, without reading them.
    for (const char* args : {"--patch zero.pst", "--patch huge.pst", "--rack zero.mst"}) {
        const tRunResult run = RunRender(dir, std::string(args) + " -o out.wav");
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_NE(run.err.find("is not a Kelvora"), std::string::npos) << run.err;
        EXPECT_EQ(access(At("out.wav").c_str(), F_OK), -1);
    }
}

TEST_F(FileSafety, SavesThatFailPartWayLeaveThePreviousFileUntouched) {
    const std::string oldPatch = "an old patch the user wants to keep\n";
    const std::string oldRack = "kelvora-state 0\n";
    const std::string oldRc = "AudioDevice=kept\n";
    const std::string oldWav = "an old recording";
    ASSERT_TRUE(WriteTextFile(At("keep.pst"), oldPatch));
    ASSERT_TRUE(WriteTextFile(At("keep.mst"), oldRack));
    ASSERT_TRUE(WriteTextFile(At(".kelvorarc"), oldRc));
    ASSERT_TRUE(WriteTextFile(At("keep.wav"), oldWav));
    const std::set<std::string> before = Names(dir);

    // Each save in a child that may write at most 40 bytes to a file; every one of these
    // saves is longer.
    const int failures = WithFileSizeLimit(40, [&] {
        int failed = 0;
        std::unique_ptr<tSlot> string = CreateModule(kStringModule, 0, 0);
        std::string error;
        if (!string->SavePatchFile(At("keep.pst"), error) &&
            error.rfind("Can't write file " + At("keep.pst") + " (", 0) == 0)
            failed |= 1;
        tRack rack;
        rack.Insert(CreateModule(kFluteModule, 0, 0).release());
        if (!SaveRackFile(rack, At("keep"), error)) failed |= 2;
        setenv("HOME", dir.c_str(), 1);
        tConfig config;
        config.SetPatchPath("/a/patch/directory/long/enough/to/pass/the/limit");
        if (!config.Write(error)) failed |= 4;
        return failed;
    });
    EXPECT_EQ(failures, 7);

    const int renderStatus = WithFileSizeLimit(4096, [&] {
        execl("/bin/sh", "sh", "-c",
              ("cd '" + dir +
               "' && '" KELVORA_RENDER "' --preset Organ -o keep.wav "
               ">/dev/null 2>render.err")
                  .c_str(),
              static_cast<char*>(nullptr));
        return 127;
    });
    EXPECT_EQ(renderStatus, 1);
    EXPECT_NE(ReadFileBytes(At("render.err")).find("keep.wav"), std::string::npos);
    unlink(At("render.err").c_str());

    EXPECT_EQ(ReadFileBytes(At("keep.pst")), oldPatch);
    EXPECT_EQ(ReadFileBytes(At("keep.mst")), oldRack);
    EXPECT_EQ(ReadFileBytes(At(".kelvorarc")), oldRc);
    EXPECT_EQ(ReadFileBytes(At("keep.wav")), oldWav);
    EXPECT_EQ(Names(dir), before); // no temporary file left behind
}

TEST_F(FileSafety, SavesReplaceTheFileAsAWholeWithTheExtensionOfTheirFormat) {
    // The module's extension is forced onto every patch name.
    struct {
        int type;
        const char* given;
        const char* written;
    } const saves[] = {{kStringModule, "patch1", "patch1.pst"},
                       {kFluteModule, "breath.txt", "breath.flt"},
                       {kEffectsModule, "v1.2/hall", "v1.2/hall.efx"}};
    ASSERT_EQ(mkdir(At("v1.2").c_str(), 0700), 0);
    for (const auto& save : saves) {
        std::unique_ptr<tSlot> slot = CreateModule(save.type, 0, 0);
        std::string error;
        ASSERT_TRUE(slot->SavePatchFile(At(save.given), error)) << error;
        EXPECT_EQ(ReadFileBytes(At(save.written)), PatchText(*slot)) << save.written;
        EXPECT_EQ(slot->Caption(), BaseName(save.written));
        EXPECT_EQ(ModuleTypeOfPatch(At(save.written)), save.type);
    }
    EXPECT_EQ(Names(dir), (std::set<std::string>{".", "..", "patch1.pst", "breath.flt", "v1.2"}));
    EXPECT_EQ(Extension("v1.2/hall"), "");
    EXPECT_EQ(WithoutExtension("v1.2/hall.efx"), "v1.2/hall");

    // A saved-over file keeps its permission bits; a link keeps pointing at the saved file.
    std::unique_ptr<tSlot> string = CreateModule(kStringModule, 0, 0);
    ASSERT_EQ(chmod(At("patch1.pst").c_str(), 0600), 0);
    ASSERT_EQ(symlink("patch1.pst", At("link.pst").c_str()), 0);
    std::string error;
    ASSERT_TRUE(string->SavePatchFile(At("link.pst"), error)) << error;
    struct stat link {
    }, file{};
    ASSERT_EQ(lstat(At("link.pst").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(stat(At("patch1.pst").c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFileBytes(At("patch1.pst")), PatchText(*string));
}
