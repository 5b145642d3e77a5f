#include "core/Config.h"
#include "core/TextFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string Written(const tConfig& config) {
    std::ostringstream out;
    config.Write(out);
    return out.str();
}

void ReadText(tConfig& config, const std::string& text) {
    std::istringstream in(text);
    config.Read(in);
}

// A private home directory for the test, with HOME pointing at it.
class HomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* current = std::getenv("HOME")) {
            savedHome = current;
            hadHome = true;
        }
        char dir[] = "/tmp/kelvora-home-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        home = dir;
        setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override {
        unlink((home + "/.kelvorarc").c_str());
        rmdir(home.c_str());
        if (hadHome)
            setenv("HOME", savedHome.c_str(), 1);
        else
            unsetenv("HOME");
    }
    std::string home;
    std::string savedHome;
    bool hadHome = false;
};

} // namespace

// --- reading ---------------------------------------------------------------------------------

TEST(Config, DefaultsAndTheirOutputDelay) {
    tConfig config;
    EXPECT_EQ(config.AudioDevice(), "hw:0,0");
    EXPECT_EQ(config.Fragments(), 4);
    EXPECT_EQ(config.Period(), 128);
    EXPECT_EQ(config.PeriodPosition(), 3);
    EXPECT_EQ(config.OutputDelayText(), "11.6");
    EXPECT_EQ(config.PatchDir(), "");
}

TEST(Config, ReadsTheFourKeysExactlyAsSpelled) {
    tConfig config;
    ReadText(config, "PatchPath=/home/me/patches\n"
                     "AudioDevice=plughw:1,0\n"
                     "Comment line without equals\n"
                     "NumFragments=3\n"
                     "PeriodSize=64\n"
                     "periodsize=256\n"
                     "AUDIODEVICE=hw:9,9\n"
                     "patchpath=/elsewhere\n"
                     "Unknown=1\n");
    EXPECT_EQ(config.PatchPath(), "/home/me/patches");
    EXPECT_EQ(config.PatchDir(), "/home/me/patches/");
    EXPECT_EQ(config.AudioDevice(), "plughw:1,0");
    EXPECT_EQ(config.Fragments(), 3);
    EXPECT_EQ(config.Period(), 64);
    EXPECT_EQ(config.PeriodPosition(), 2);
    EXPECT_EQ(config.OutputDelayText(), "4.4");
    EXPECT_DOUBLE_EQ(config.Controls().framesBox.Value(), 64.0);
    EXPECT_DOUBLE_EQ(config.Controls().fragmentsBox.Value(), 3.0);
}

TEST(Config, CarriageReturnCutsTheLineAndValuesSplitAtTheFirstEquals) {
    tConfig config;
    ReadText(config, "AudioDevice=hw:1,0\r\nPatchPath=/a=b/\rjunk\nNumFragments=5\r\n");
    EXPECT_EQ(config.AudioDevice(), "hw:1,0");
    EXPECT_EQ(config.PatchPath(), "/a=b/");
    EXPECT_EQ(config.Fragments(), 5);
}

TEST(Config, NumbersAreReadLikeStrtol) {
    tConfig config;
    ReadText(config, "NumFragments=6 fragments\nPeriodSize=  32xyz\n");
    EXPECT_EQ(config.Fragments(), 6);
    EXPECT_EQ(config.Period(), 32);
    ReadText(config, "NumFragments=many\nPeriodSize=\n");
    EXPECT_EQ(config.Fragments(), 0); // handed on as it is; the device refuses it
    EXPECT_EQ(config.Period(), 16);   // limited to 16..256 as the command line does
    EXPECT_EQ(config.PeriodPosition(), 0);
}

TEST(Config, SampleRateIsReadWhenTheEngineTakesItAndDefaultsTo44100) {
    tConfig config;
    ReadText(config, "PeriodSize=128\n"); // a file from before the key
    EXPECT_EQ(config.SampleRate(), 44100);
    EXPECT_EQ(config.Controls().rateChoice.Index(), 0);
    ReadText(config, "SampleRate=96000\r\nNumFragments=2\n");
    EXPECT_EQ(config.SampleRate(), 96000);
    EXPECT_EQ(config.Controls().rateChoice.Index(), 3);
    // 128 frames x 2 at 96 kHz.
    EXPECT_EQ(config.OutputDelayText(), "2.7");
    // A rate off the choice's list is kept and shows no entry; one the engine refuses is
    // reported and leaves the rate as it was.
    ReadText(config, "SampleRate=22050\n");
    EXPECT_EQ(config.SampleRate(), 22050);
    EXPECT_EQ(config.Controls().rateChoice.Index(), -1);
    for (const char* bad : {"SampleRate=8000\n", "SampleRate=48k\n", "SampleRate=192001\n"}) {
        testing::internal::CaptureStderr();
        ReadText(config, std::string("SampleRate=88200\n") + bad);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("not a rate of 22050..192000 Hz"),
                  std::string::npos)
            << bad;
        EXPECT_EQ(config.SampleRate(), 88200) << bad;
    }
}

TEST(Config, AudioSystemIsReadWrittenWhenJackAndResetByTheDefaults) {
    tConfig config;
    ReadText(config, "AudioSystem=jack\n");
    EXPECT_EQ(config.AudioSystem(), tConfig::kJack);
    std::ostringstream out;
    config.Write(out);
    EXPECT_NE(out.str().find("\nAudioSystem=jack\n"), std::string::npos) << out.str();
    testing::internal::CaptureStderr();
    ReadText(config, "AudioSystem=jack\nAudioSystem=JACK\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("neither alsa nor jack"),
              std::string::npos);
    EXPECT_EQ(config.AudioSystem(), tConfig::kJack);
    config.SetDefaults();
    EXPECT_EQ(config.AudioSystem(), tConfig::kAlsa);
    std::ostringstream plain;
    config.Write(plain);
    EXPECT_EQ(plain.str().find("AudioSystem"), std::string::npos);
}

// --- period, fragments, writing ----------------------------------------------------------

TEST(Config, PeriodOutsideTheTableIsKeptButSavedAsTheLastEntry) {
    tConfig config;
    config.SetPeriod(100); // as given by -f 100
    EXPECT_EQ(config.Period(), 100);
    EXPECT_DOUBLE_EQ(config.Controls().framesBox.Value(), 100.0);
    EXPECT_EQ(config.PeriodPosition(), 4);
    EXPECT_EQ(Written(config), "PatchPath=\nAudioDevice=hw:0,0\nNumFragments=4\nPeriodSize=256\n"
                               "SampleRate=44100\n");
    EXPECT_EQ(config.OutputDelayText(), "23.2");
}

TEST(Config, SlidersMovedByTheUserSetPeriodFragmentsAndDelay) {
    tConfig config;
    config.MovePeriodSlider(0);
    config.MoveFragmentsSlider(2);
    EXPECT_EQ(config.Period(), 16);
    EXPECT_EQ(config.Fragments(), 2);
    EXPECT_DOUBLE_EQ(config.Controls().fragmentsBox.Value(), 2.0);
    EXPECT_EQ(config.OutputDelayText(), "0.7");
    config.MoveFragmentsSlider(12); // the slider stops at its end
    EXPECT_EQ(config.Fragments(), 10);
}

TEST(Config, DefaultValuesKeepThePatchDirectory) {
    tConfig config;
    config.SetPatchPath("/music/");
    config.SetAudioDevice("null");
    config.SetFragments(7);
    config.SetPeriod(32);
    config.SetSampleRate(96000);
    config.SetDefaults();
    EXPECT_EQ(config.PatchDir(), "/music/");
    EXPECT_EQ(Written(config),
              "PatchPath=/music/\nAudioDevice=hw:0,0\nNumFragments=4\nPeriodSize=128\n"
              "SampleRate=44100\n");
}

TEST(Config, ChosenDirectoryIsCutAfterItsLastSlash) {
    tConfig config;
    testing::internal::CaptureStderr();
    config.ChoosePatchDir("/home/me/sounds/harp.pst");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "/home/me/sounds/harp.pst choosen\n");
    EXPECT_EQ(config.PatchDir(), "/home/me/sounds/");
}

// --- the rc file in the home directory ----------------------------------------------------

TEST_F(HomeTest, WrittenFileIsReadBack) {
    tConfig config;
    config.SetPatchPath("/srv/patches");
    config.SetAudioDevice("plughw:0");
    config.SetFragments(6);
    config.SetPeriod(32);
    config.ChooseSampleRate(1);
    ASSERT_TRUE(config.Write());
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_EQ(text, "PatchPath=/srv/patches\nAudioDevice=plughw:0\nNumFragments=6\nPeriodSize=32\n"
                    "SampleRate=48000\n");

    tConfig again;
    again.Read();
    EXPECT_EQ(again.PatchPath(), "/srv/patches");
    EXPECT_EQ(again.AudioDevice(), "plughw:0");
    EXPECT_EQ(again.Fragments(), 6);
    EXPECT_EQ(again.Period(), 32);
    EXPECT_EQ(again.SampleRate(), 48000);
}

TEST_F(HomeTest, MissingFileLeavesTheDefaultsSilently) {
    tConfig config;
    config.SetAudioDevice("other");
    testing::internal::CaptureStderr();
    config.Read();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(config.AudioDevice(), "hw:0,0");
}

TEST_F(HomeTest, UnwritableHomeReportsTheFailure) {
    setenv("HOME", (home + "/no/such/dir").c_str(), 1);
    tConfig config;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config.Write());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't write config file " + home +
                  "/no/such/dir/.kelvorarc (No such file or "
                  "directory)\n");
}

TEST_F(HomeTest, WithoutHomeNothingIsReadOrWritten) {
    ASSERT_TRUE(WriteTextFile(home + "/.kelvorarc", "AudioDevice=from-file\n"));
    unsetenv("HOME");
    tConfig config;
    config.Read();
    EXPECT_EQ(config.AudioDevice(), "hw:0,0");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config.Write());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't write config file ~/.kelvorarc (HOME is not set)\n");
    // Neither written to the old place nor to the current directory's root.
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_EQ(text, "AudioDevice=from-file\n");
    EXPECT_FALSE(ReadTextFile("/.kelvorarc", text));
}

TEST_F(HomeTest, TheWindowsLookIsKeptOnlyWhenItDiffersFromTheDefaults) {
    tConfig config;
    ReadText(config, "UIScale=200\nWindowWidth=800\nWindowHeight=520\nUIScale=140\n");
    EXPECT_EQ(config.UiScalePercent(), 150); // the nearest of 100, 150 and 200
    EXPECT_EQ(config.WindowWidth(), 800);
    EXPECT_EQ(config.WindowHeight(), 520);
    EXPECT_EQ(Written(config),
              "PatchPath=\nAudioDevice=hw:0,0\nNumFragments=4\nPeriodSize=128\n"
              "SampleRate=44100\nUIScale=150\nWindowWidth=800\nWindowHeight=520\n");
    ReadText(config, "PeriodSize=64\n");
    EXPECT_EQ(config.UiScalePercent(), 100);
    EXPECT_EQ(Written(config).find("Window"), std::string::npos);

    // The window's size alone goes into the file; its other lines stay, unsaved settings too.
    ASSERT_TRUE(WriteTextFile(home + "/.kelvorarc", "AudioDevice=mine\nWindowWidth=1\nx=y\n"));
    config.SetAudioDevice("not saved");
    config.SetWindowSize(900, 600);
    std::string error;
    ASSERT_TRUE(config.WriteWindowSize(error));
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_EQ(text, "AudioDevice=mine\nx=y\nWindowWidth=900\nWindowHeight=600\n");
}
