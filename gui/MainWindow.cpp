#include "gui/MainWindow.h"

#include "app/ModuleFactory.h"
#include "app/Presets.h"
#include "core/AudioSwitch.h"
#include "core/Config.h"
#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/Rack.h"
#include "core/RackFile.h"
#include "core/TextFile.h"
#include "gui/Artwork.h"
#include "gui/GuiTimer.h"
#include "gui/RackView.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Slider.H>

#include <cstring>

namespace {

const Fl_Color kPanelText = fl_rgb_color(236, 236, 230);
const Fl_Color kGold = fl_rgb_color(255, 214, 110);
const Fl_Color kLampOff = fl_rgb_color(52, 58, 52);
const Fl_Color kLampOn = fl_rgb_color(120, 240, 110);

// A toggle drawn as a small lamp: dark when off, lit when on.
Fl_Button* Lamp(int x, int y, int w, int h, const char* label = nullptr) {
    auto* lamp = new Fl_Button(x, y, w, h, label);
    lamp->type(FL_TOGGLE_BUTTON);
    lamp->box(FL_THIN_DOWN_BOX);
    lamp->down_box(FL_THIN_DOWN_BOX);
    lamp->color(kLampOff);
    lamp->selection_color(kLampOn);
    lamp->clear_visible_focus();
    lamp->labelcolor(kPanelText);
    lamp->labelsize(11);
    lamp->align(FL_ALIGN_RIGHT);
    return lamp;
}

Fl_Slider* Meter(int x, int y, int w, int h, const char* label, double minimum, double maximum) {
    auto* meter = new Fl_Slider(x, y, w, h, label);
    meter->type(FL_HOR_FILL_SLIDER);
    meter->box(FL_THIN_DOWN_BOX);
    meter->color(fl_rgb_color(24, 24, 28));
    meter->bounds(minimum, maximum);
    meter->labelcolor(kPanelText);
    meter->labelsize(11);
    meter->align(FL_ALIGN_LEFT);
    meter->set_output(); // shown, never moved by the user
    return meter;
}

Fl_Button* PanelButton(int x, int y, int w, int h, const char* label) {
    auto* button = new Fl_Button(x, y, w, h, label);
    button->labelsize(11);
    button->selection_color(fl_rgb_color(110, 190, 110));
    button->clear_visible_focus();
    return button;
}

} // namespace

tMainWindow::tMainWindow(tProgramParts parts, tEditorFactory editors)
    : mParts(parts), mDialogs(StandardDialogs()) {
    mWindow = std::make_unique<Fl_Double_Window>(594, 374, "Kelvora");
    mWidgets.window = mWindow.get();
    mWindow->color(fl_rgb_color(46, 47, 52));
    BuildTopBar();
    BuildRack(std::move(editors));
    BuildMasterSection();
    mWindow->end();
    mWindow->callback(CloseCallback, this);

    mConfigWindow = std::make_unique<tConfigWindow>(mParts.config, mDialogs);
    mAboutWindow = std::make_unique<tAboutWindow>();
    mNotices = std::make_unique<tAudioNotices>(
        mParts.master, *mWidgets.loadMeter,
        [this](const std::string& message) { mDialogs.alert(message); });
    tGuiTimer::Add(this, [this] {
        ShowAudioState();
        mNotices->Refresh();
    });
    ShowAudioState();
}

tMainWindow::~tMainWindow() {
    tGuiTimer::Remove(this);
}

void tMainWindow::BuildTopBar() {
    // The menu bar spans the window; everything else of the top bar lies over it, the logo
    // under the menu titles.
    BuildMenu();
    new tArtBox(3, 6, 207, 18, DrawLogoWave);
    auto* title = new Fl_Box(211, 6, 120, 16, "Midi Synthesizer");
    title->labelfont(FL_HELVETICA_BOLD_ITALIC);
    title->labelsize(13);
    title->labelcolor(kGold);

    mWidgets.loadMeter = Meter(365, 11, 55, 7, "load", mParts.master.loadMeter.Minimum(),
                               mParts.master.loadMeter.Maximum());
    mWidgets.loadMeter->step(1.0);
    mBinding.BindDisplay(mWidgets.loadMeter, mParts.master.loadMeter);

    mWidgets.stereo = PanelButton(442, 7, 50, 15, "stereo");
    mWidgets.stereo->callback(StereoCallback, this);
    mWidgets.on = PanelButton(520, 5, 30, 18, "On");
    mWidgets.on->labelfont(FL_HELVETICA_BOLD);
    mWidgets.on->callback(OnCallback, this);
    mWidgets.light = Lamp(561, 7, 12, 13);
    mWidgets.light->selection_color(fl_rgb_color(255, 80, 60));
    mWidgets.light->set_output();
    mBinding.Bind(mWidgets.light, mParts.master.audioLight);
}

void tMainWindow::BuildMenu() {
    mWidgets.menu = new Fl_Menu_Bar(-2, -2, 597, 30);
    Fl_Menu_Bar* menu = mWidgets.menu;
    menu->box(FL_FLAT_BOX);
    menu->color(fl_rgb_color(58, 60, 66));
    menu->textcolor(kPanelText);
    menu->textsize(13);
    menu->selection_color(fl_rgb_color(200, 150, 60));
    menu->down_box(FL_FLAT_BOX);
    for (const char* item :
         {"File/Load", "File/Insert", "File/Clear", "File/Save", "File/About", "File/Exit",
          "Options/Configuration", "New/String", "New/Flute", "New/Effects"})
        menu->add(item, 0, MenuCallback, this);
    for (int i = 0; i < kPresetCount; ++i) {
        const std::string path = std::string("Presets/") + PresetTable()[i].label;
        menu->add(path.c_str(), 0, MenuCallback, this);
    }
}

void tMainWindow::BuildRack(tEditorFactory editors) {
    auto* background = new Fl_Group(-2, 27, 597, 348);
    background->box(FL_NO_BOX);
    auto* panel = new tArtBox(-2, 27, 597, 348, DrawPanel);
    panel->box(FL_NO_BOX);
    mWidgets.rack = new tRackView(7, 34, 578, 300, mParts.rack, mParts.config, std::move(editors));
    background->add(mWidgets.rack);
    auto* version = new Fl_Box(10, 346, 107, 19, "Kelvora 1.6.8");
    version->labelsize(12);
    version->labelfont(FL_HELVETICA_BOLD);
    version->labelcolor(kGold);
    background->end();
}

void tMainWindow::BuildMasterSection() {
    auto* bottom = new Fl_Group(129, 338, 458, 30);
    bottom->box(FL_THIN_DOWN_FRAME);
    auto* strip = new tArtBox(129, 338, 458, 30, DrawPanel);
    strip->box(FL_NO_BOX);
    mWidgets.limiter = Lamp(146, 349, 15, 10, "Limiter");
    mBinding.Bind(mWidgets.limiter, mParts.master.limiter);
    mWidgets.vuSwitch = Lamp(214, 349, 15, 10);
    mWidgets.vuSwitch->tooltip("VU meter on/off");
    mBinding.Bind(mWidgets.vuSwitch, mParts.master.vu);
    mWidgets.vuMeter = Meter(257, 349, 100, 9, "VU ", 0.0, 1.0);
    mBinding.BindDisplay(mWidgets.vuMeter, mParts.master.vuMeter);
    mWidgets.volume = new Fl_Value_Slider(358, 343, 140, 20, "master volume");
    mWidgets.volume->type(FL_HOR_NICE_SLIDER);
    mWidgets.volume->bounds(0.0, 4.0);
    mWidgets.volume->step(0.01);
    mWidgets.volume->textsize(11);
    mWidgets.volume->labelsize(11);
    mWidgets.volume->labelcolor(kPanelText);
    mWidgets.volume->align(FL_ALIGN_RIGHT);
    mBinding.Bind(mWidgets.volume, mParts.master.volume);
    bottom->end();
}

void tMainWindow::Show(int argc, char** argv) {
    mWindow->xclass("kelVora");
    mWidgets.loadMeter->bounds(mParts.master.loadMeter.Minimum(),
                               mParts.master.loadMeter.Maximum());
    mBinding.ShowAll();
    ShowAudioState();
    mConfigWindow->ShowTexts();
    if (argc > 0 && argv)
        mWindow->show(argc, argv);
    else
        mWindow->show();
    tGuiTimer::Start();
}

int tMainWindow::Run() {
    Fl::run();
    tGuiTimer::Stop();
    return 0;
}

void tMainWindow::Exit() {
    mParts.audio.Stop();
    ShowAudioState();
    while (Fl_Window* window = Fl::first_window()) window->hide();
}

void tMainWindow::SetDialogs(tDialogs dialogs) {
    mDialogs = std::move(dialogs);
}

void tMainWindow::ShowAudioState() {
    const int on = mParts.master.audioOn.IsOn() ? 1 : 0;
    if (mWidgets.on->value() != on) mWidgets.on->value(on);
    const int stereo = mParts.audio.Channels() == 2 ? 1 : 0;
    if (mWidgets.stereo->value() != stereo) mWidgets.stereo->value(stereo);
}

bool tMainWindow::Choose(const char* path) {
    const Fl_Menu_Item* item = mWidgets.menu->find_item(path);
    if (!item || item->submenu()) return false;
    mWidgets.menu->picked(item);
    return true;
}

void tMainWindow::MenuCallback(Fl_Widget* widget, void* self) {
    auto* menu = static_cast<Fl_Menu_Bar*>(widget);
    char path[256];
    if (menu->item_pathname(path, sizeof path, menu->mvalue()) != 0) return;
    static_cast<tMainWindow*>(self)->MenuChosen(path);
}

void tMainWindow::MenuChosen(const std::string& path) {
    const std::string patchDir = mParts.config.PatchDir();
    if (path == "File/Load" || path == "File/Insert") {
        const std::string file = mDialogs.chooseFile("Load", "*.mst", patchDir);
        if (!file.empty()) ReadRack(file, path == "File/Insert");
    } else if (path == "File/Clear") {
        mWidgets.rack->Clear();
    } else if (path == "File/Save") {
        SaveRack();
    } else if (path == "File/About") {
        mAboutWindow->Show();
    } else if (path == "File/Exit") {
        Exit();
    } else if (path == "Options/Configuration") {
        mConfigWindow->Show();
    } else if (path == "New/String") {
        NewModule(kStringModule);
    } else if (path == "New/Flute") {
        NewModule(kFluteModule);
    } else if (path == "New/Effects") {
        NewModule(kEffectsModule);
    } else if (path.rfind("Presets/", 0) == 0) {
        AddPreset(path.c_str() + std::strlen("Presets/"));
    }
}

bool tMainWindow::LoadRack(const std::string& path) {
    return ReadRack(path, false);
}

bool tMainWindow::ReadRack(const std::string& path, bool insert) {
    // Loading clears the rack once the header is known good: the views go first.
    const tRackLoadResult result = LoadRackFile(mParts.rack, path, insert, CreateModule,
                                                [this] { mWidgets.rack->DropViews(); });
    mWidgets.rack->Sync();
    switch (result.status) {
    case tRackFileStatus::kOk:
        return true;
    case tRackFileStatus::kCannotOpen:
        mDialogs.alert("Can't read file " + path);
        return false;
    case tRackFileStatus::kRefused:
        mDialogs.alert(result.message);
        return false;
    case tRackFileStatus::kNotRackFile:
        mDialogs.alert(path + " is not a Kelvora file.");
        return false;
    case tRackFileStatus::kSyntaxError:
    case tRackFileStatus::kEndsInRecord:
        mDialogs.alert("Syntax error in file " + path + "; the modules before it were read.");
        return false;
    }
    return false;
}

void tMainWindow::SaveRack() {
    const std::string path = ChooseRackSavePath(mDialogs, mParts.config.PatchDir());
    if (path.empty()) return;
    std::string error;
    if (!SaveRackFile(mParts.rack, path, error)) mDialogs.alert(error);
}

void tMainWindow::NewModule(int type) {
    std::unique_ptr<tSlot> slot = CreateModule(type, kNewModuleX, kNewModuleY);
    if (!slot) return;
    mParts.rack.Insert(slot.release());
    mWidgets.rack->Sync();
}

void tMainWindow::AddPreset(const char* label) {
    ::AddPreset(mParts.rack, FindPreset(label));
    mWidgets.rack->Sync();
}

void tMainWindow::PressOn() {
    if (mParts.audio.IsOn())
        mParts.audio.Stop();
    else if (!mParts.audio.Start())
        TellAudioFailed();
    ShowAudioState();
    mBinding.Refresh();
}

void tMainWindow::TellAudioFailed() {
    // The terminal has the device's own message; the musician looking at the window gets
    // the gist and where to change the device.
    mDialogs.alert("The audio device \"" + mParts.config.AudioDevice() +
                   "\" could not be used; audio stays off.\n"
                   "Choose another device (such as \"default\") under Options -> Configuration.");
}

void tMainWindow::PressStereo() {
    // The button shows 1 for stereo; pressing it switches to the other channel count.
    const int channels = mWidgets.stereo->value() ? 1 : 2;
    const bool wasOn = mParts.audio.IsOn();
    mParts.audio.SetChannels(channels);
    if (wasOn && !mParts.audio.IsOn()) TellAudioFailed();
    ShowAudioState();
    mBinding.Refresh();
}

void tMainWindow::OnCallback(Fl_Widget*, void* self) {
    static_cast<tMainWindow*>(self)->PressOn();
}

void tMainWindow::StereoCallback(Fl_Widget*, void* self) {
    static_cast<tMainWindow*>(self)->PressStereo();
}

void tMainWindow::CloseCallback(Fl_Widget*, void* self) {
    // Escape does not end the synthesizer; the window's close button does.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<tMainWindow*>(self)->Exit();
}
