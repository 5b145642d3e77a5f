#include "GuiTestSupport.h"

#include "core/TextFile.h"
#include "gui/GuiTimer.h"
#include "gui/ModuleIcon.h"
#include "gui/RackView.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using guitest::Click;
using guitest::MainWindowTest;

namespace {

// Where the "On" and "stereo" buttons are pressed.
constexpr int kOnX = 535, kOnY = 14;
constexpr int kStereoX = 467, kStereoY = 14;

std::string TempDir() {
    char dir[] = "/tmp/kelvora-gui-XXXXXX";
    return mkdtemp(dir) ? std::string(dir) : std::string();
}

} // namespace

TEST_F(MainWindowTest, StartsWithAudioOffAndTheMasterSectionAtItsInitialValues) {
    const tMainWindow::tWidgets& w = window->Widgets();
    EXPECT_STREQ(w.window->label(), "Kelvora");
    EXPECT_STREQ(w.window->xclass(), "kelVora");
    EXPECT_EQ(w.window->w(), 594);
    EXPECT_EQ(w.window->h(), 374);
    EXPECT_EQ(w.on->value(), 0);
    EXPECT_EQ(w.light->value(), 0);
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(w.stereo->value(), 1); // the program selects stereo before the window shows
    EXPECT_EQ(w.limiter->value(), 1);
    EXPECT_EQ(w.vuSwitch->value(), 1);
    EXPECT_DOUBLE_EQ(w.volume->value(), 1.5);
    EXPECT_DOUBLE_EQ(w.volume->minimum(), 0.0);
    EXPECT_DOUBLE_EQ(w.volume->maximum(), 4.0);
    EXPECT_DOUBLE_EQ(w.volume->step(), 0.01);
    // The load meter shows the audio thread's share of each period in percent.
    EXPECT_DOUBLE_EQ(w.loadMeter->minimum(), 0.0);
    EXPECT_DOUBLE_EQ(w.loadMeter->maximum(), 100.0);
    EXPECT_EQ(w.rack->x(), 7);
    EXPECT_EQ(w.rack->y(), 34);
    EXPECT_EQ(w.rack->w(), 578);
    EXPECT_EQ(w.rack->h(), 300);

    const char* items[] = {
        "File/Load",        "File/Insert",           "File/Clear", "File/Save", "File/About",
        "File/Exit",        "Options/Configuration", "New/String", "New/Flute", "New/Effects",
        "Presets/CleanGtr", "Presets/BrightFlute"};
    for (const char* item : items) EXPECT_NE(w.menu->find_item(item), nullptr) << item;

    // The master section writes the controls the master stage reads.
    w.limiter->value(0);
    w.limiter->do_callback();
    EXPECT_FALSE(master.limiter.IsOn());
    w.volume->value(2.25);
    w.volume->do_callback();
    EXPECT_DOUBLE_EQ(master.volume.Value(), 2.25);
    // Meters written by the audio thread reach their widgets through the GUI timer.
    master.vuMeter.Set(0.5);
    master.vuMeter.SetColour(kVuColourHot);
    master.loadMeter.SetColour(kLoadColourWarning);
    tGuiTimer::RefreshAll();
    EXPECT_DOUBLE_EQ(w.vuMeter->value(), 0.5);
    EXPECT_EQ(w.vuMeter->selection_color(), static_cast<Fl_Color>(kVuColourHot));
    EXPECT_EQ(w.loadMeter->selection_color(), static_cast<Fl_Color>(kLoadColourWarning));
}

TEST_F(MainWindowTest, AudioGoingOffByItselfIsToldOnceAndUnderrunsShowInTheLoadMeter) {
    master.underruns.Set(3);
    master.audioOff.Set(kAudioOffDeviceLost);
    tGuiTimer::RefreshAll();
    tGuiTimer::RefreshAll();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], AudioOffMessage(kAudioOffDeviceLost));
    EXPECT_NE(std::string(window->Widgets().loadMeter->tooltip()).find("3 underruns"),
              std::string::npos);
    master.audioOff.Set(kAudioOffOverload); // told again each time it happens
    tGuiTimer::RefreshAll();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1], AudioOffMessage(kAudioOffOverload));
}

TEST_F(MainWindowTest, OnWithAnUnusableDeviceLeavesTheButtonAndTheLightOff) {
    config.SetAudioDevice("kvnosuchdevice");
    Click(Win(), kOnX, kOnY);
    tGuiTimer::RefreshAll();
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(window->Widgets().on->value(), 0);
    EXPECT_EQ(window->Widgets().light->value(), 0);
    // The window says so, naming the device.
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].find("\"kvnosuchdevice\" could not be used"), std::string::npos);
}

TEST_F(MainWindowTest, OnSwitchesAudioOnAndOffAndStereoRestartsItWithTheOtherChannelCount) {
    const tMainWindow::tWidgets& w = window->Widgets();
    // Audio off: only the channel count and the modules' set-up change.
    Click(Win(), kStereoX, kStereoY);
    EXPECT_EQ(rack.Channels(), 1);
    EXPECT_EQ(callback.Channels(), 1);
    EXPECT_EQ(w.stereo->value(), 0);
    EXPECT_FALSE(callback.IsOn());

    StartTicking();
    Click(Win(), kOnX, kOnY);
    tGuiTimer::RefreshAll();
    ASSERT_TRUE(callback.IsOn());
    EXPECT_EQ(w.on->value(), 1);
    EXPECT_EQ(w.light->value(), 1);
    EXPECT_EQ(audio.Channels(), 1);
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() > 5; }));

    // Audio on: the device is reopened in stereo and keeps running.
    Click(Win(), kStereoX, kStereoY);
    EXPECT_EQ(w.stereo->value(), 1);
    EXPECT_EQ(rack.Channels(), 2);
    EXPECT_TRUE(callback.IsOn());
    EXPECT_EQ(audio.Channels(), 2);
    const int before = paced.calls.load();
    EXPECT_TRUE(WaitFor([&] { return paced.calls.load() > before + 5; }));

    Click(Win(), kOnX, kOnY);
    tGuiTimer::RefreshAll();
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(w.on->value(), 0);
    EXPECT_EQ(w.light->value(), 0);
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(MainWindowTest, ClosingTheWindowSwitchesAudioOffAndHidesEveryWindow) {
    StartTicking();
    Click(Win(), kOnX, kOnY);
    ASSERT_TRUE(callback.IsOn());
    window->Choose("File/About");
    window->Choose("Options/Configuration");
    ASSERT_TRUE(window->AboutWindow().Window()->shown());

    Win()->do_callback(); // the window manager's close button
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(Fl::first_window(), nullptr);
    EXPECT_EQ(window->Run(), 0); // nothing left to show: the loop ends at once
}

TEST_F(MainWindowTest, NewEffectsAddsAnUnconnectedEffectsUnitSwitchedOffWithItsIconAndEditor) {
    ASSERT_TRUE(window->Choose("New/Effects"));
    ASSERT_EQ(rack.Slots().size(), 1u);
    tSlot* unit = rack.Slots()[0];
    EXPECT_EQ(unit->Type(), kEffectsModule);
    EXPECT_EQ(unit->X(), 190);
    EXPECT_EQ(unit->Y(), 50);
    EXPECT_FALSE(unit->IsOn());
    EXPECT_TRUE(unit->Inputs().empty());
    EXPECT_TRUE(unit->Outputs().empty());
    tRackView& view = window->RackView();
    ASSERT_NE(view.IconOf(unit), nullptr);
    EXPECT_EQ(view.IconOf(unit)->x(), 190);
    EXPECT_EQ(view.IconOf(unit)->y(), 50);
    EXPECT_NE(view.EditorOf(unit), nullptr);

    window->Choose("New/String");
    window->Choose("New/Flute");
    ASSERT_EQ(rack.Slots().size(), 3u);
    EXPECT_EQ(rack.Slots()[1]->Type(), kStringModule);
    EXPECT_EQ(rack.Slots()[2]->Type(), kFluteModule);
    EXPECT_EQ(view.IconCount(), 3u);
}

TEST_F(MainWindowTest, PresetsFromTheMenuAddTheirModulesWiredAndCaptionedEachTimeChosen) {
    ASSERT_TRUE(window->Choose("Presets/Clarinet"));
    ASSERT_EQ(rack.Slots().size(), 2u);
    tSlot* effects = rack.Slots()[0];
    tSlot* flute = rack.Slots()[1];
    EXPECT_EQ(effects->Type(), kEffectsModule);
    EXPECT_EQ(effects->X(), 160);
    EXPECT_EQ(flute->Type(), kFluteModule);
    EXPECT_EQ(flute->X(), 50);
    EXPECT_EQ(flute->Y(), 45);
    ASSERT_EQ(flute->Outputs().size(), 1u);
    EXPECT_EQ(flute->Outputs()[0], effects);
    EXPECT_EQ(flute->Caption(), "Clarinet");

    // The same item again adds a second pair; a preset without effects adds one instrument.
    window->Choose("Presets/Clarinet");
    EXPECT_EQ(rack.Slots().size(), 4u);
    window->Choose("Presets/AnalogTom");
    ASSERT_EQ(rack.Slots().size(), 5u);
    EXPECT_EQ(rack.Slots()[4]->Type(), kStringModule);
    EXPECT_TRUE(rack.Slots()[4]->Outputs().empty());
    window->Choose("Presets/PickBass");
    EXPECT_EQ(rack.Slots().back()->Caption(), "FingdBass");
    EXPECT_EQ(window->RackView().IconCount(), rack.Slots().size());
}

TEST_F(MainWindowTest, RackFilesAreChosenInThePatchDirectoryAndSavedOverOnlyWhenConfirmed) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    config.SetPatchPath(dir);
    std::vector<std::string> asked;
    std::string answer;
    bool replace = false;
    window->SetDialogs({[&](const char* title, const char* pattern, const std::string& start) {
                            asked.push_back(std::string(title) + " " + pattern + " " + start);
                            return answer;
                        },
                        [&](const std::string&) {
                            asked.push_back("replace?");
                            return replace;
                        },
                        [&](const std::string& message) { asked.push_back("alert " + message); }});
    window->Choose("Presets/CleanGtr");

    // Cancelling changes nothing.
    answer.clear();
    window->Choose("File/Load");
    EXPECT_EQ(rack.Slots().size(), 2u);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Load *.mst " + dir + "/");

    // Saving forces the extension; a second save over the file asks first.
    answer = dir + "/song";
    window->Choose("File/Save");
    std::string saved;
    ASSERT_TRUE(ReadTextFile(dir + "/song.mst", saved));
    window->Choose("New/Flute");
    window->Choose("File/Save");
    EXPECT_EQ(asked.back(), "replace?");
    std::string after;
    ReadTextFile(dir + "/song.mst", after);
    EXPECT_EQ(after, saved); // refused: the file stays as it was
    replace = true;
    window->Choose("File/Save");
    ReadTextFile(dir + "/song.mst", after);
    EXPECT_NE(after, saved);

    // Loading replaces the rack and its views; inserting adds to it.
    answer = dir + "/song.mst";
    window->Choose("File/Load");
    EXPECT_EQ(rack.Slots().size(), 3u);
    EXPECT_EQ(window->RackView().IconCount(), 3u);
    window->Choose("File/Insert");
    EXPECT_EQ(rack.Slots().size(), 6u);
    EXPECT_EQ(window->RackView().IconCount(), 6u);
    for (const tSlot* slot : rack.Slots()) EXPECT_NE(window->RackView().IconOf(slot), nullptr);

    // A file that is not a rack file leaves the rack and its views alone and says so.
    WriteTextFile(dir + "/other.mst", "hello\n");
    log.clear();
    EXPECT_FALSE(window->LoadRack(dir + "/other.mst"));
    EXPECT_EQ(rack.Slots().size(), 6u);
    EXPECT_TRUE(log.empty()); // no editor was destroyed
    EXPECT_EQ(asked.back().rfind("alert ", 0), 0u);

    window->Choose("File/Clear");
    EXPECT_TRUE(rack.Slots().empty());
    EXPECT_EQ(window->RackView().IconCount(), 0u);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& s) { return s.rfind("destroyed", 0) == 0; }),
              6);
    for (const char* name : {"/song.mst", "/other.mst"}) unlink((dir + name).c_str());
    rmdir(dir.c_str());
}
