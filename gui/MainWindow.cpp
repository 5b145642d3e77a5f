#include "gui/MainWindow.h"

#include "catalog/ModuleFactory.h"
#include "catalog/Presets.h"
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
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>

#include <algorithm>
#include <cstring>
#include <sstream>

using tUiScale::Px;

namespace {

const Fl_Color kLampOff = fl_rgb_color(52, 58, 52);

// "…" after the items that open a dialog.
#define ELLIPSIS "\xE2\x80\xA6"
constexpr const char* kLoad = "File/Load" ELLIPSIS;
constexpr const char* kInsert = "File/Insert" ELLIPSIS;
constexpr const char* kClear = "File/Clear";
constexpr const char* kSave = "File/Save" ELLIPSIS;
constexpr const char* kAbout = "File/About";
constexpr const char* kExit = "File/Exit";
constexpr const char* kConfiguration = "Options/Configuration" ELLIPSIS;
constexpr const char* kKeyboard = "Options/Keyboard";

// The window: every resize lays the widgets out again.
class tMainFrame : public Fl_Double_Window {
public:
    using Fl_Double_Window::Fl_Double_Window;
    std::function<void()> layout;
    void resize(int x, int y, int w, int h) override {
        Fl_Double_Window::resize(x, y, w, h);
        if (layout) layout();
    }
};

// A toggle drawn as a small lamp: dark when off, lit when on.
Fl_Button* Lamp(int x, int y, int w, int h, const char* label = nullptr) {
    auto* lamp = new Fl_Button(x, y, w, h, label);
    lamp->type(FL_TOGGLE_BUTTON);
    lamp->box(FL_THIN_DOWN_BOX);
    lamp->down_box(FL_THIN_DOWN_BOX);
    lamp->color(kLampOff);
    lamp->selection_color(tSkin::LampOn());
    lamp->clear_visible_focus();
    lamp->labelcolor(tSkin::Text());
    lamp->labelsize(11);
    lamp->align(FL_ALIGN_RIGHT);
    return lamp;
}

Fl_Slider* Meter(int x, int y, int w, int h, const char* label, double minimum, double maximum) {
    auto* meter = new tFillSlider(x, y, w, h, label);
    meter->type(FL_HOR_FILL_SLIDER);
    meter->box(FL_THIN_DOWN_BOX);
    meter->color(fl_rgb_color(24, 24, 28));
    meter->bounds(minimum, maximum);
    meter->labelcolor(tSkin::Text());
    meter->labelsize(11);
    meter->align(FL_ALIGN_LEFT);
    meter->set_output(); // shown, never moved by the user
    return meter;
}

Fl_Button* PanelButton(int x, int y, int w, int h, const char* label) {
    auto* button = new Fl_Button(x, y, w, h, label);
    tSkin::StyleButton(*button);
    button->labelsize(11);
    button->clear_visible_focus();
    return button;
}

// The main window whose menus take the control keys pressed in any other window.
tMainWindow* gKeysWindow = nullptr;

int KeysFromOtherWindows(int event) {
    if (event != FL_SHORTCUT || gKeysWindow == nullptr || Fl::modal() != nullptr) return 0;
    Fl_Menu_Bar* menu = gKeysWindow->Widgets().menu;
    const Fl_Menu_Item* item = menu->menu()->test_shortcut();
    if (item == nullptr) return 0;
    menu->picked(item);
    return 1;
}

// The preset menu in groups of like instruments.
bool EndsPresetGroup(const char* label) {
    for (const char* last : {"DistGtr", "SynCello", "Organ2", "SynSpinet", "TekBass", "AnalogTom"})
        if (std::strcmp(label, last) == 0) return true;
    return false;
}

} // namespace

tMainWindow::tMainWindow(tProgramParts parts, tEditorFactory editors)
    : mParts(parts), mDialogs(StandardDialogs()) {
    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    auto* frame = new tMainFrame(kWidth, kHeight, "Kelvora");
    mWindow.reset(frame);
    mWidgets.window = frame;
    mWindow->color(tSkin::Background());
    BuildTopBar();
    BuildRack(std::move(editors));
    BuildMasterSection();
    mWindow->end();
    mWindow->callback(CloseCallback, this);
    tUiScale::ScaleWindow(*mWindow);
    mWindow->size_range(Px(kWidth), Px(kHeight));
    frame->layout = [this] { Layout(); };
    Fl_Group::current(outer);

    mConfigWindow = std::make_unique<tConfigWindow>(mParts.config, mDialogs, mParts.audioDevices);
    mAboutWindow = std::make_unique<tAboutWindow>();
    mNotices = std::make_unique<tAudioNotices>(
        mParts.master, *mWidgets.loadMeter,
        [this](const std::string& message) { mDialogs.alert(message); });
    mKeyboard = std::make_unique<tKeyboardWindow>(mParts.rack);
    for (int channel = 0; channel < 16; ++channel)
        mNotesSeen[channel] = mParts.rack.NotesOnChannel(channel);
    tGuiTimer::Add(this, [this] {
        ShowAudioState();
        WatchNotes();
        mNotices->Refresh();
    });
    ShowAudioState();
    MarkSaved();
    // The toolkit offers a shortcut only to the window that has the focus; the menus' keys
    // work from the editors and the keyboard window too.
    gKeysWindow = this;
    Fl::add_handler(KeysFromOtherWindows);
}

tMainWindow::~tMainWindow() {
    Fl::remove_handler(KeysFromOtherWindows);
    if (gKeysWindow == this) gKeysWindow = nullptr;
    tGuiTimer::Remove(this);
}

void tMainWindow::Keep(Fl_Widget* widget, bool right, bool bottom, bool wide, bool tall) {
    mPlaced.push_back(
        {widget, widget->x(), widget->y(), widget->w(), widget->h(), right, bottom, wide, tall});
}

void tMainWindow::BuildTopBar() {
    // The menu bar spans the window; everything else of the top bar lies over it, the logo
    // under the menu titles.
    BuildMenu();
    Keep(new tArtBox(3, 6, 207, 18, DrawLogoWave), false, false, false, false);
    auto* title = new Fl_Box(211, 6, 120, 16, "Midi Synthesizer");
    title->labelfont(FL_HELVETICA_BOLD_ITALIC);
    title->labelsize(13);
    title->labelcolor(tSkin::Gold());
    Keep(title, false, false, false, false);

    mWidgets.loadMeter = Meter(365, 11, 55, 7, "load", mParts.master.loadMeter.Minimum(),
                               mParts.master.loadMeter.Maximum());
    mWidgets.loadMeter->step(1.0);
    mWidgets.loadMeter->tooltip("How busy the realtime threads are");
    mBinding.BindDisplay(mWidgets.loadMeter, mParts.master.loadMeter);

    mWidgets.stereo = PanelButton(442, 7, 50, 15, "stereo");
    mWidgets.stereo->callback(StereoCallback, this);
    mWidgets.stereo->tooltip("Stereo (lit) or mono output");
    mWidgets.on = PanelButton(520, 5, 30, 18, "On");
    mWidgets.on->labelfont(FL_HELVETICA_BOLD);
    mWidgets.on->callback(OnCallback, this);
    mWidgets.on->tooltip("Switches the audio output on and off");
    mWidgets.light = Lamp(561, 7, 12, 13);
    mWidgets.light->selection_color(fl_rgb_color(255, 80, 60));
    mWidgets.light->set_output();
    mBinding.Bind(mWidgets.light, mParts.master.audioLight);
    for (Fl_Widget* widget : std::initializer_list<Fl_Widget*>{mWidgets.loadMeter, mWidgets.stereo,
                                                               mWidgets.on, mWidgets.light})
        Keep(widget, true, false, false, false);
}

void tMainWindow::BuildMenu() {
    mWidgets.menu = new Fl_Menu_Bar(-2, -2, 597, 30);
    Fl_Menu_Bar* menu = mWidgets.menu;
    tSkin::StyleMenu(*menu);
    menu->textsize(13);
    struct tItem {
        const char* path;
        int shortcut;
        int flags;
    };
    const tItem items[] = {
        {kLoad, FL_CTRL + 'o', 0},
        {kInsert, 0, FL_MENU_DIVIDER},
        {kClear, FL_CTRL + 'n', FL_MENU_DIVIDER},
        {kSave, FL_CTRL + 's', FL_MENU_DIVIDER},
        {kAbout, 0, FL_MENU_DIVIDER},
        {kExit, FL_CTRL + 'q', 0},
        {kConfiguration, 0, FL_MENU_DIVIDER},
        {kKeyboard, FL_CTRL + 'k', 0},
        {"New/String", 0, 0},
        {"New/Flute", 0, 0},
        {"New/Effects", 0, 0},
    };
    for (const tItem& item : items)
        menu->add(item.path, item.shortcut, MenuCallback, this, item.flags);
    for (int i = 0; i < kPresetCount; ++i) {
        const char* label = PresetTable()[i].label;
        const std::string path = std::string("Presets/") + label;
        menu->add(path.c_str(), 0, MenuCallback, this,
                  EndsPresetGroup(label) ? FL_MENU_DIVIDER : 0);
    }
    tSkin::SpaceMenuItems(*menu);
    Keep(menu, false, false, true, false);
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
    version->labelcolor(tSkin::Gold());
    background->end();
    Keep(background, false, false, true, true);
    Keep(panel, false, false, true, true);
    Keep(mWidgets.rack, false, false, true, true);
    Keep(version, false, true, false, false);
}

void tMainWindow::BuildMasterSection() {
    auto* bottom = new Fl_Group(129, 338, 458, 30);
    bottom->box(FL_THIN_DOWN_FRAME);
    auto* strip = new tArtBox(129, 338, 458, 30, DrawPanel);
    strip->box(FL_NO_BOX);
    mWidgets.limiter = Lamp(146, 349, 15, 10, "Limiter");
    mWidgets.limiter->tooltip("Keeps the output below full scale");
    mBinding.Bind(mWidgets.limiter, mParts.master.limiter);
    mWidgets.vuSwitch = Lamp(214, 349, 15, 10);
    mWidgets.vuSwitch->tooltip("VU meter on/off");
    mBinding.Bind(mWidgets.vuSwitch, mParts.master.vu);
    mWidgets.vuMeter = Meter(257, 349, 100, 9, "VU ", 0.0, 1.0);
    mWidgets.vuMeter->tooltip("The output level; its colour changes near and at full scale");
    mBinding.BindDisplay(mWidgets.vuMeter, mParts.master.vuMeter);
    mWidgets.volume = new tValueSlider(358, 343, 140, 20, "master volume");
    mWidgets.volume->bounds(0.0, 4.0);
    mWidgets.volume->step(0.01);
    mWidgets.volume->textsize(11);
    mWidgets.volume->labelsize(11);
    mWidgets.volume->align(FL_ALIGN_RIGHT);
    mWidgets.volume->tooltip("The level of everything the rack plays");
    mBinding.Bind(mWidgets.volume, mParts.master.volume);
    bottom->end();
    for (Fl_Widget* widget : std::initializer_list<Fl_Widget*>{
             bottom, strip, mWidgets.limiter, mWidgets.vuSwitch, mWidgets.vuMeter, mWidgets.volume})
        Keep(widget, true, true, false, false);
}

void tMainWindow::Layout() {
    // Logical (factor-1) growth of the window beyond its designed size.
    const int dx = std::max(0, tUiScale::ToLogical(mWindow->w()) - kWidth);
    const int dy = std::max(0, tUiScale::ToLogical(mWindow->h()) - kHeight);
    for (const tPlaced& p : mPlaced) {
        const int x = p.x + (p.right ? dx : 0);
        const int y = p.y + (p.bottom ? dy : 0);
        const int w = p.w + (p.wide ? dx : 0);
        const int h = p.h + (p.tall ? dy : 0);
        // The rack view lays out its icons itself; other groups are placed child by child.
        if (p.widget == mWidgets.rack)
            p.widget->resize(Px(x), Px(y), tUiScale::Width(x, w), tUiScale::Width(y, h));
        else
            p.widget->Fl_Widget::resize(Px(x), Px(y), tUiScale::Width(x, w), tUiScale::Width(y, h));
    }
    mWindow->redraw();
}

void tMainWindow::Show(int argc, char** argv) {
    mWindow->xclass("kelVora");
    mWidgets.loadMeter->bounds(mParts.master.loadMeter.Minimum(),
                               mParts.master.loadMeter.Maximum());
    mBinding.ShowAll();
    ShowAudioState();
    mConfigWindow->ShowTexts();
    const int w = mParts.config.WindowWidth(), h = mParts.config.WindowHeight();
    if (w >= kWidth && h >= kHeight) mWindow->size(Px(w), Px(h));
    if (argc > 0 && argv)
        mWindow->show(argc, argv);
    else
        mWindow->show();
    tGuiTimer::Start();
}

int tMainWindow::Run() {
    if (mSession)
        while (!mQuit) Fl::wait(0.25);
    else
        Fl::run();
    tGuiTimer::Stop();
    return 0;
}

void tMainWindow::Quit() {
    mQuit = true;
    mParts.audio.Stop();
    ShowAudioState();
    KeepWindowSize();
    while (Fl_Window* window = Fl::first_window()) window->hide();
}

void tMainWindow::SetSession(std::function<void(bool shown)> shown) {
    mSession = true;
    mShown = std::move(shown);
}

void tMainWindow::SetVisible(bool visible) {
    if (visible) {
        mWindow->show();
    } else {
        while (Fl_Window* window = Fl::first_window()) window->hide();
    }
    if (mShown) mShown(visible);
}

bool tMainWindow::SaveSessionRack(const std::string& path, std::string& error) {
    if (!SaveRackFile(mParts.rack, path, error)) return false;
    MarkSaved();
    return true;
}

void tMainWindow::ClearRack() {
    mWidgets.rack->Clear();
    MarkSaved();
}

bool tMainWindow::Exit() {
    // Under a session the manager keeps the rack.
    if (!mSession && !MayGiveUpRack("quitting")) return false;
    Quit();
    return true;
}

void tMainWindow::KeepWindowSize() {
    const int w = tUiScale::ToLogical(mWindow->w()), h = tUiScale::ToLogical(mWindow->h());
    const int keptW = mParts.config.WindowWidth(), keptH = mParts.config.WindowHeight();
    const bool kept = keptW > 0 && keptH > 0;
    if (kept ? (w == keptW && h == keptH) : (w == kWidth && h == kHeight)) return;
    mParts.config.SetWindowSize(w, h);
    std::string error;
    mParts.config.WriteWindowSize(error);
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
    if (!item) item = mWidgets.menu->find_item((std::string(path) + ELLIPSIS).c_str());
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
    if (path == kLoad) {
        if (!mSession && !MayGiveUpRack("loading another rack")) return;
        const std::string file = mDialogs.chooseFile("Load", "*.mst", patchDir);
        // Under a session an imported rack is not the session's saved one.
        const std::string saved = mSavedText;
        if (!file.empty() && ReadRack(file, false) && mSession) mSavedText = saved;
    } else if (path == kInsert) {
        const std::string file = mDialogs.chooseFile("Load", "*.mst", patchDir);
        if (!file.empty()) ReadRack(file, true);
    } else if (path == kClear) {
        NewRack();
    } else if (path == kSave) {
        SaveRack();
    } else if (path == kAbout) {
        mAboutWindow->Show();
    } else if (path == kExit) {
        Exit();
    } else if (path == kConfiguration) {
        mConfigWindow->Show();
    } else if (path == kKeyboard) {
        mKeyboard->Show();
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

// --- the rack as a document ---------------------------------------------------------------

std::string tMainWindow::RackText() const {
    std::ostringstream out;
    ::SaveRack(mParts.rack, out);
    return out.str();
}

void tMainWindow::MarkSaved() {
    mSavedText = RackText();
}

bool tMainWindow::Changed() const {
    return RackText() != mSavedText;
}

bool tMainWindow::MayGiveUpRack(const std::string& what) {
    if (!Changed() || !mDialogs.askSaveChanges) return true;
    switch (mDialogs.askSaveChanges(what)) {
    case tDialogs::kSave:
        return SaveRack();
    case tDialogs::kDiscard:
        return true;
    case tDialogs::kCancel:
        return false;
    }
    return false;
}

bool tMainWindow::LoadRack(const std::string& path) {
    return ReadRack(path, false);
}

bool tMainWindow::ReadRack(const std::string& path, bool insert) {
    // The file is read and checked whole before the rack is cleared: the views go only then.
    const std::size_t before = mParts.rack.Slots().size();
    const tRackLoadResult result = LoadRackFile(mParts.rack, path, insert, CreateModule,
                                                [this] { mWidgets.rack->DropViews(); });
    mWidgets.rack->Sync();
    if (result.status != tRackFileStatus::kOk) {
        mDialogs.alert("The rack file was not loaded; the rack stays as it was.\n\n" +
                       result.message);
        return false;
    }
    if (!insert) {
        MarkSaved();
    } else {
        // Inserted modules go to free places as a preset's do.
        const auto& slots = mParts.rack.Slots();
        mWidgets.rack->Place(
            std::vector<tSlot*>(slots.begin() + static_cast<std::ptrdiff_t>(before), slots.end()));
    }
    return true;
}

bool tMainWindow::SaveRack() {
    const std::string path = ChooseRackSavePath(mDialogs, mParts.config.PatchDir());
    if (path.empty()) return false;
    std::string error;
    if (!SaveRackFile(mParts.rack, path, error)) {
        mDialogs.alert(error);
        return false;
    }
    if (!mSession) MarkSaved(); // a copy exported from the session
    return true;
}

void tMainWindow::NewRack() {
    if (!mSession && !MayGiveUpRack("starting a new rack")) return;
    mWidgets.rack->Clear();
    if (!mSession) MarkSaved(); // the session's file still holds its rack
}

void tMainWindow::NewModule(int type) {
    std::unique_ptr<tSlot> slot = CreateModule(type, kNewModuleX, kNewModuleY);
    if (!slot) return;
    tSlot* module = slot.release();
    mParts.rack.Insert(module);
    mWidgets.rack->Sync();
    mWidgets.rack->Place({module});
}

void tMainWindow::AddPreset(const char* label) {
    const std::size_t before = mParts.rack.Slots().size();
    ::AddPreset(mParts.rack, FindPreset(label));
    mWidgets.rack->Sync();
    const auto& slots = mParts.rack.Slots();
    mWidgets.rack->Place(
        std::vector<tSlot*>(slots.begin() + static_cast<std::ptrdiff_t>(before), slots.end()));
}

// --- notes that cannot sound -----------------------------------------------------------------

namespace {

bool Reaches(const tSlot& slot, int depth = 0) {
    // Whether the slot's sound gets to the mix: it feeds nothing, or feeds an effects unit that
    // is on and reaches it (a rack has no loops; the depth only guards).
    if (slot.Outputs().empty()) return true;
    if (depth > 64) return false;
    for (const tSlot* next : slot.Outputs())
        if (next->IsOn() && Reaches(*next, depth + 1)) return true;
    return false;
}

const tSlot* FirstOffUnit(const tSlot& slot, int depth = 0) {
    for (const tSlot* next : slot.Outputs()) {
        if (!next->IsOn()) return next;
        if (depth < 64)
            if (const tSlot* deeper = FirstOffUnit(*next, depth + 1)) return deeper;
    }
    return nullptr;
}

std::string Quoted(const tSlot& slot) {
    return "\"" + slot.Caption() + "\"";
}

} // namespace

std::string tMainWindow::Silence(int channel, const tSlot*& culprit) const {
    culprit = nullptr;
    const std::string where = "MIDI channel " + std::to_string(channel + 1);
    std::vector<const tSlot*> listening;
    bool anyInstrument = false;
    for (const tSlot* slot : mParts.rack.Slots()) {
        if (slot->Type() != kStringModule && slot->Type() != kFluteModule) continue;
        anyInstrument = true;
        if (slot->GetChannel() == channel) listening.push_back(slot);
    }
    if (!anyInstrument)
        return "Notes arrive, but the rack holds no instrument: add one from \"New\" or "
               "\"Presets\".";
    if (listening.empty())
        return "Notes arrive on " + where +
               ", but no instrument listens to it: click a module's channel box to change it.";
    const auto on = std::find_if(listening.begin(), listening.end(),
                                 [](const tSlot* slot) { return slot->IsOn(); });
    if (on == listening.end()) {
        culprit = listening.front();
        return Quoted(*culprit) + " is switched off: the notes on " + where +
               " reach it but stay silent. Click its lamp to switch it on.";
    }
    const bool heard = std::any_of(listening.begin(), listening.end(), [](const tSlot* slot) {
        return slot->IsOn() && Reaches(*slot);
    });
    if (!heard) {
        culprit = FirstOffUnit(**on);
        if (culprit != nullptr)
            return Quoted(**on) + " plays into the effects unit " + Quoted(*culprit) +
                   ", which is switched off. Click its lamp to switch it on.";
    }
    if (!mParts.audio.IsOn()) return "Notes arrive, but the audio is off: press \"On\".";
    return std::string();
}

void tMainWindow::WatchNotes() {
    for (int channel = 0; channel < 16; ++channel) {
        const std::uint32_t count = mParts.rack.NotesOnChannel(channel);
        if (count == mNotesSeen[channel]) continue;
        mNotesSeen[channel] = count;
        const tSlot* culprit = nullptr;
        const std::string why = Silence(channel, culprit);
        if (why.empty()) continue;
        if (why != mWidgets.rack->Status()) mWidgets.rack->Tell(why);
        if (culprit != nullptr && !mWidgets.rack->Calling(culprit)) mWidgets.rack->Call(*culprit);
    }
}

// --- audio ---------------------------------------------------------------------------------

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
    // the gist and where to change the device (or, for JACK, what to start).
    const std::string why = mParts.audio.FailureMessage();
    if (!why.empty()) {
        mDialogs.alert(why + "\nAudio stays off.");
        return;
    }
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
    auto* window = static_cast<tMainWindow*>(self);
    if (window->mSession)
        window->SetVisible(false);
    else
        window->Exit();
}
