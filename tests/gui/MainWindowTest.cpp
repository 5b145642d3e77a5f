#include "GuiTestSupport.h"

#include "core/RackFile.h"
#include "core/TextFile.h"
#include "gui/GuiTimer.h"
#include "gui/ModuleIcon.h"
#include "gui/RackView.h"
#include "string/StringModule.h"

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

    const char* items[] = {"File/Load\xE2\x80\xA6",
                           "File/Insert\xE2\x80\xA6",
                           "File/Clear",
                           "File/Save\xE2\x80\xA6",
                           "File/About",
                           "File/Exit",
                           "Options/Configuration\xE2\x80\xA6",
                           "Options/Keyboard",
                           "New/String",
                           "New/Flute",
                           "New/Effects",
                           "Presets/CleanGtr",
                           "Presets/BrightFlute"};
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
                        [&](const std::string& message) { asked.push_back("alert " + message); },
                        [&](const std::string&) { return tDialogs::kDiscard; }});
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

namespace {

// The footprints (icon and caption) of every two modules stay apart.
void ExpectApart(tRackView& view, const tRack& rack) {
    const auto& slots = rack.Slots();
    for (std::size_t i = 0; i < slots.size(); ++i)
        for (std::size_t j = i + 1; j < slots.size(); ++j)
            EXPECT_FALSE(view.FootprintOf(*slots[i]).Meets(view.FootprintOf(*slots[j]), 0))
                << slots[i]->Caption() << " at " << slots[i]->X() << "," << slots[i]->Y() << " and "
                << slots[j]->Caption() << " at " << slots[j]->X() << "," << slots[j]->Y();
}

std::vector<std::pair<int, int>> Places(const tRack& rack) {
    std::vector<std::pair<int, int>> places;
    for (const tSlot* slot : rack.Slots()) places.emplace_back(slot->X(), slot->Y());
    return places;
}

// A key pressed with modifiers in window, delivered as the toolkit delivers it from the X
// server: to the focus, then as a shortcut to every window.
void Shortcut(Fl_Window* window, int key, int state = FL_CTRL) {
    Fl::e_keysym = key;
    Fl::e_state = state;
    Fl::e_text = const_cast<char*>("");
    Fl::e_length = 0;
    Fl::handle(FL_KEYBOARD, window);
    Fl::e_state = 0;
}

} // namespace

TEST_F(MainWindowTest, NewModulesAndPresetsTakeTheirPlaceWhenFreeAndTheNearestFreePlaceOtherwise) {
    tRackView& view = window->RackView();
    window->Choose("Presets/Clarinet");
    window->Choose("Presets/Clarinet"); // a second pair right below the first
    window->Choose("New/String");       // beside the first effects unit
    window->Choose("New/String");       // below that one, where the second pair leaves room
    window->Choose("Presets/AnalogTom");
    EXPECT_EQ(Places(rack),
              (std::vector<std::pair<int, int>>{
                  {160, 45}, {50, 45}, {160, 126}, {50, 126}, {230, 50}, {230, 131}, {50, 207}}));
    // Every icon is where its slot is, and no two footprints meet.
    for (const tSlot* slot : rack.Slots()) EXPECT_EQ(view.IconOf(slot)->x(), slot->X());
    ExpectApart(view, rack);
    // Filled up: modules keep landing in free places as long as there are any.
    for (int i = 0; i < 8; ++i) window->Choose("New/Effects");
    ExpectApart(view, rack);
}

TEST_F(MainWindowTest, TheRackGrowsWithTheWindowWhoseSizeIsKeptInTheRcFile) {
    const tMainWindow::tWidgets& w = window->Widgets();
    window->Choose("Presets/Organ");
    const auto before = Places(rack);
    w.window->resize(w.window->x(), w.window->y(), 900, 600);
    EXPECT_EQ(w.rack->w(), 900 - 16);
    EXPECT_EQ(w.rack->h(), 600 - 74);
    EXPECT_EQ(w.on->x(), 520 + 306);     // the top bar's controls stay at the right
    EXPECT_EQ(w.volume->y(), 343 + 226); // the master section at the bottom
    EXPECT_EQ(w.menu->w(), 597 + 306);
    EXPECT_EQ(Places(rack), before); // icons keep their places
    for (const tSlot* slot : rack.Slots())
        EXPECT_EQ(window->RackView().IconOf(slot)->y(), slot->Y());
    // A rack as big as the window now has room where the smaller one had none.
    rack.Slots()[0]->Move(700, 450);
    EXPECT_TRUE(window->Exit());
    std::string rc;
    ASSERT_TRUE(ReadTextFile(home + "/.kelvorarc", rc));
    EXPECT_EQ(rc, "WindowWidth=900\nWindowHeight=600\n");

    // The next start shows the window at that size; smaller than the design is not taken.
    tConfig kept;
    kept.Read();
    EXPECT_EQ(kept.WindowWidth(), 900);
    tMainWindow again({rack, master, kept, counters, callback}, {});
    again.SetDialogs({{}, {}, {}, [](const std::string&) { return tDialogs::kDiscard; }});
    again.Show();
    EXPECT_EQ(again.Widgets().window->w(), 900);
    EXPECT_EQ(again.Widgets().window->h(), 600);
    EXPECT_EQ(again.Widgets().rack->w(), 900 - 16);
    again.Exit();
}

TEST_F(MainWindowTest, ControlKeysReachTheMenusWhicheverWindowHasTheFocus) {
    Shortcut(Win(), 'k');
    EXPECT_TRUE(window->KeyboardWindow().IsShown());
    Shortcut(Win(), 'o');
    Shortcut(Win(), 's');
    EXPECT_EQ(dialogs, (std::vector<std::string>{"choose Load", "choose Save"}));
    window->Choose("Presets/SynPiano");
    Shortcut(window->KeyboardWindow().Window().as_window(), 'n'); // from the keyboard window
    EXPECT_EQ(dialogs.back(), "save? starting a new rack");
    EXPECT_TRUE(rack.Slots().empty()); // discarded
    Shortcut(Win(), 'q');
    EXPECT_EQ(Fl::first_window(), nullptr);
}

TEST_F(MainWindowTest, AChangedRackIsNotGivenUpWithoutAskingSaveDiscardOrCancel) {
    // Nothing changed: nothing is asked.
    window->Choose("File/Clear");
    EXPECT_TRUE(dialogs.empty());
    window->Choose("Presets/CleanGtr");
    EXPECT_TRUE(window->Changed());

    saveAnswer = tDialogs::kCancel;
    window->Choose("File/Clear");
    window->Choose("File/Load");
    EXPECT_FALSE(window->Exit());
    EXPECT_EQ(dialogs, (std::vector<std::string>{"save? starting a new rack",
                                                 "save? loading another rack", "save? quitting"}));
    EXPECT_EQ(rack.Slots().size(), 2u);
    EXPECT_TRUE(Win()->shown());

    // Save: the chooser comes; cancelled there, the rack stays too.
    saveAnswer = tDialogs::kSave;
    dialogs.clear();
    Win()->do_callback(); // the window's close button
    EXPECT_EQ(dialogs, (std::vector<std::string>{"save? quitting", "choose Save"}));
    EXPECT_TRUE(Win()->shown());

    // Saved, the rack is unchanged until a module moves, is switched or a setting is edited.
    const std::string dir = TempDir();
    std::string answer = dir + "/kept";
    window->SetDialogs({[&](const char*, const char*, const std::string&) { return answer; },
                        [](const std::string&) { return true; }, [](const std::string&) {},
                        [&](const std::string& what) {
                            dialogs.push_back("save? " + what);
                            return saveAnswer;
                        }});
    window->Choose("File/Save");
    EXPECT_FALSE(window->Changed());
    tSlot* string = rack.Slots()[1];
    string->Move(string->X() + 1, string->Y());
    EXPECT_TRUE(window->Changed());
    string->Move(string->X() - 1, string->Y());
    EXPECT_FALSE(window->Changed());
    {
        tRack::tGuard guard(rack);
        string->SwitchOn();
    }
    EXPECT_TRUE(window->Changed());
    window->LoadRack(dir + "/kept.mst");
    EXPECT_FALSE(window->Changed());
    auto* module = dynamic_cast<tStringModule*>(rack.Slots()[1]);
    ASSERT_NE(module, nullptr);
    module->Controls().output.volume.Set(0.5);
    EXPECT_TRUE(window->Changed());

    saveAnswer = tDialogs::kDiscard;
    dialogs.clear();
    EXPECT_TRUE(window->Exit());
    EXPECT_EQ(dialogs, (std::vector<std::string>{"save? quitting"}));
    unlink((dir + "/kept.mst").c_str());
    rmdir(dir.c_str());
}

TEST_F(MainWindowTest, ADamagedRackFileLeavesTheRackAndItsEditorsAsTheyWere) {
    const std::string dir = TempDir();
    window->Choose("Presets/Organ");
    const std::string good = dir + "/good.mst";
    std::string error;
    ASSERT_TRUE(SaveRackFile(rack, good, error));
    std::string text;
    ASSERT_TRUE(ReadTextFile(good, text));
    const std::string cut = dir + "/cut.mst";
    WriteTextFile(cut, text.substr(0, text.size() - 30)); // ends inside the second record
    window->Choose("New/Flute");
    log.clear();
    dialogs.clear();
    EXPECT_FALSE(window->LoadRack(cut));
    EXPECT_EQ(rack.Slots().size(), 3u);
    EXPECT_EQ(window->RackView().IconCount(), 3u);
    EXPECT_TRUE(log.empty()); // no editor closed or destroyed
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].find(cut + ": line "), std::string::npos) << dialogs[0];
    EXPECT_NE(dialogs[0].find("expected \"]\""), std::string::npos) << dialogs[0];
    EXPECT_TRUE(window->Changed()); // the flute added before is still unsaved
    for (const std::string& file : {good, cut}) unlink(file.c_str());
    rmdir(dir.c_str());
}

TEST_F(MainWindowTest, UnderASessionLoadAndSaveAreCopiesAndClosingHides) {
    std::vector<bool> shown;
    window->SetSession([&](bool visible) { shown.push_back(visible); });
    const std::string dir = TempDir();
    std::string answer = dir + "/copy";
    window->SetDialogs({[&](const char* title, const char*, const std::string&) {
                            dialogs.push_back(std::string("choose ") + title);
                            return answer;
                        },
                        [](const std::string&) { return true; },
                        [&](const std::string& text) { dialogs.push_back(text); },
                        [&](const std::string& what) {
                            dialogs.push_back("save? " + what);
                            return tDialogs::kCancel;
                        }});
    window->Choose("Presets/Organ");
    // An exported copy leaves the session's rack changed; the session's own save does not.
    window->Choose("File/Save");
    EXPECT_TRUE(window->Changed());
    std::string error;
    ASSERT_TRUE(window->SaveSessionRack(dir + "/rack.mst", error)) << error;
    EXPECT_FALSE(window->Changed());
    // Clearing and importing ask nothing and leave the rack changed until the session saves.
    window->Choose("File/Clear");
    EXPECT_TRUE(rack.Slots().empty());
    EXPECT_TRUE(window->Changed());
    ASSERT_TRUE(window->SaveSessionRack(dir + "/rack.mst", error)) << error;
    answer = dir + "/copy.mst"; // the exported copy
    window->Choose("File/Load");
    EXPECT_EQ(rack.Slots().size(), 2u);
    EXPECT_TRUE(window->Changed());
    EXPECT_EQ(dialogs, (std::vector<std::string>{"choose Save", "choose Load"}));
    // The window's close button hides it and says so; the program goes on.
    Win()->do_callback();
    EXPECT_FALSE(Win()->shown());
    window->SetVisible(true);
    EXPECT_TRUE(Win()->shown());
    EXPECT_EQ(shown, (std::vector<bool>{false, true}));
    for (const char* file : {"/copy.mst", "/rack.mst"}) unlink((dir + file).c_str());
    rmdir(dir.c_str());
}
