#include "gui/ConfigWindow.h"
#include "core/Config.h"
#include "core/TextFile.h"
#include "gui/GuiTimer.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Window.H>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class ConfigWindowTest : public ::testing::Test {
protected:
    ConfigWindowTest() {
        char dir[] = "/tmp/kelvora-home-XXXXXX";
        home = mkdtemp(dir) ? dir : "";
        const char* old = std::getenv("HOME");
        oldHome = old ? old : "";
        setenv("HOME", home.c_str(), 1);
        dialogs.chooseFile = [this](const char* title, const char* pattern,
                                    const std::string& start) {
            asked = std::string(title) + "|" + pattern + "|" + start;
            return chosen;
        };
        dialogs.alert = [this](const std::string& message) { alerts += message; };
    }
    ~ConfigWindowTest() override {
        unlink(tConfig::RcPath().c_str());
        rmdir(home.c_str());
        setenv("HOME", oldHome.c_str(), 1);
    }
    const tConfigWindow::tWidgets& W() const { return window.Widgets(); }
    static std::string Text(const Fl_Output* output) { return output->value(); }

    std::string home;
    std::string oldHome;
    std::string asked;
    std::string chosen;
    std::string alerts;
    tDialogs dialogs;
    tConfig config;
    tConfigWindow window{config, dialogs};
};

} // namespace

TEST_F(ConfigWindowTest, PeriodAndFragmentsShowTheirBoxesAndTheOutputDelay) {
    EXPECT_STREQ(W().window->label(), "Kelvora Configuration");
    EXPECT_EQ(Text(W().frames), "128");
    EXPECT_EQ(Text(W().delay), "11.6");
    // As a configuration file with 64 frames and 3 fragments gives them.
    config.SetPeriod(64);
    config.SetFragments(3);
    tGuiTimer::RefreshAll();
    EXPECT_EQ(Text(W().frames), "64");
    EXPECT_EQ(Text(W().fragmentsBox), "3");
    EXPECT_DOUBLE_EQ(W().period->value(), 2.0);
    EXPECT_DOUBLE_EQ(W().fragments->value(), 3.0);
    EXPECT_EQ(Text(W().delay), "4.4");
    // The user moves the sliders.
    W().period->value(0);
    W().period->do_callback();
    W().fragments->value(10);
    W().fragments->do_callback();
    EXPECT_EQ(config.Period(), 16);
    EXPECT_EQ(config.Fragments(), 10);
    EXPECT_EQ(Text(W().frames), "16");
    EXPECT_EQ(Text(W().fragmentsBox), "10");
    EXPECT_EQ(Text(W().delay), "3.6");
}

TEST_F(ConfigWindowTest, APeriodOffTheTableShowsAsGivenAndSavesAsTheSlidersEntry) {
    config.SetPeriod(100); // -f 100
    window.Show();
    EXPECT_EQ(Text(W().frames), "100");
    EXPECT_DOUBLE_EQ(W().period->value(), 4.0);
    W().save->do_callback();
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_NE(text.find("PeriodSize=256\n"), std::string::npos) << text;
    EXPECT_TRUE(alerts.empty());
    W().dismiss->do_callback();
    EXPECT_FALSE(W().window->shown());
}

TEST_F(ConfigWindowTest, DefaultValuesResetDeviceFragmentsAndPeriodButNotThePatchDirectory) {
    W().audioDevice->value("plughw:1");
    W().audioDevice->do_callback();
    W().patchPath->value("/music/patches");
    W().patchPath->do_callback();
    EXPECT_EQ(config.AudioDevice(), "plughw:1");
    EXPECT_EQ(config.PatchPath(), "/music/patches");
    config.SetFragments(7);
    config.SetPeriod(32);
    tGuiTimer::RefreshAll();

    W().defaults->do_callback();
    EXPECT_STREQ(W().audioDevice->value(), "hw:0,0");
    EXPECT_EQ(config.AudioDevice(), "hw:0,0");
    EXPECT_EQ(Text(W().fragmentsBox), "4");
    EXPECT_EQ(Text(W().frames), "128");
    EXPECT_DOUBLE_EQ(W().period->value(), 3.0);
    EXPECT_EQ(Text(W().delay), "11.6");
    EXPECT_STREQ(W().patchPath->value(), "/music/patches");
}

TEST_F(ConfigWindowTest, TheChoosersResultIsCutAfterItsLastSlashAndCancellingKeepsThePath) {
    config.SetPatchPath("/music");
    window.Show();
    chosen = "/music/patches/organ.pst";
    W().choosePath->do_callback();
    EXPECT_EQ(asked, "Path to Patch Files|{*.mst,*.pst,*.flt,*efx}|/music/");
    EXPECT_EQ(config.PatchPath(), "/music/patches/");
    EXPECT_STREQ(W().patchPath->value(), "/music/patches/");
    chosen.clear();
    W().choosePath->do_callback();
    EXPECT_EQ(config.PatchPath(), "/music/patches/");
}

TEST_F(ConfigWindowTest, TheSampleRateChoiceIsSavedAndShowsTheRateGiven) {
    EXPECT_EQ(W().sampleRate->value(), 0);
    EXPECT_STREQ(W().sampleRate->text(3), "96000");
    W().sampleRate->value(3);
    W().sampleRate->do_callback();
    EXPECT_EQ(config.SampleRate(), 96000);
    EXPECT_EQ(Text(W().delay), "5.3"); // 128 frames x 4 at 96 kHz
    W().save->do_callback();
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_NE(text.find("SampleRate=96000\n"), std::string::npos) << text;
    // A rate off the list (from -r or the rc file) selects no entry and is saved as it is.
    config.SetSampleRate(32000);
    tGuiTimer::RefreshAll();
    EXPECT_EQ(W().sampleRate->value(), -1);
    W().save->do_callback();
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_NE(text.find("SampleRate=32000\n"), std::string::npos) << text;
}

TEST_F(ConfigWindowTest, TheDeviceMenuOffersTheListedDevicesAndTheScaleIsSavedForTheNextStart) {
    std::vector<std::string> listed = {"default", "hw:CARD=PCH,DEV=0", "plughw:CARD=USB/1,DEV=0"};
    tConfigWindow withDevices(config, dialogs, [&] { return listed; });
    const tConfigWindow::tWidgets& w = withDevices.Widgets();
    withDevices.ListDevices();
    ASSERT_EQ(w.devices->size() - 1, 3);
    w.devices->value(2);
    w.devices->do_callback();
    EXPECT_EQ(config.AudioDevice(), "plughw:CARD=USB/1,DEV=0"); // "/" is no submenu
    EXPECT_STREQ(w.audioDevice->value(), "plughw:CARD=USB/1,DEV=0");
    listed = {"null"}; // the list is taken again each time the menu opens
    withDevices.ListDevices();
    EXPECT_EQ(w.devices->size() - 1, 1);

    EXPECT_STREQ(w.uiScale->label(), "UI scale:");
    w.uiScale->value(1);
    w.uiScale->do_callback();
    EXPECT_EQ(config.UiScalePercent(), 150);
    w.save->do_callback();
    std::string text;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", text));
    EXPECT_NE(text.find("\nUIScale=150\n"), std::string::npos) << text;
}
