#include "gui/ConfigWindow.h"

#include "core/Config.h"
#include "gui/Artwork.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Window.H>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kNote = "Note: The choice of a small period size will result in higher CPU "
                              "load. The default value of 128 frames gives usually fine results.";

std::string Whole(double value) {
    return std::to_string(static_cast<int>(value));
}

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

constexpr int kLabelSize = 12;

Fl_Box* Label(int x, int y, int w, int h, const char* text) {
    auto* box = new Fl_Box(x, y, w, h, text);
    box->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
    tSkin::StyleLabel(*box, kLabelSize);
    return box;
}

Fl_Slider* Slider(int x, int y, int w, int h, double minimum, double maximum) {
    auto* slider = new tSkinSlider(x, y, w, h);
    slider->bounds(minimum, maximum);
    slider->step(1.0);
    return slider;
}

Fl_Output* Output(int x, int y, int w, int h, const char* label) {
    auto* output = new Fl_Output(x, y, w, h, label);
    output->labelsize(kLabelSize);
    output->textsize(kLabelSize);
    output->clear_visible_focus();
    return output;
}

Fl_Button* Button(int x, int y, int w, int h, const char* label) {
    auto* button = new Fl_Button(x, y, w, h, label);
    tSkin::StyleButton(*button);
    button->labelsize(kLabelSize);
    return button;
}

// The device menu fills itself from the lister each time it is opened.
class tDeviceMenu : public tSkinMenuButton {
public:
    using tSkinMenuButton::tSkinMenuButton;
    std::function<void()> beforeOpening;
    int handle(int event) override {
        if (event == FL_PUSH && beforeOpening) beforeOpening();
        return tSkinMenuButton::handle(event);
    }
};

} // namespace

tConfigWindow::tConfigWindow(tConfig& config, const tDialogs& dialogs, tDeviceLister devices)
    : mConfig(config), mDialogs(dialogs), mLister(std::move(devices)) {
    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    auto* window = new Fl_Window(408, 358, "Kelvora Configuration");
    mWindow.reset(window);
    mWidgets.window = window;
    tSkin::StyleWindow(*window);
    new tArtBox(15, 3, 85, 45, DrawLogo);
    auto* heading = new Fl_Box(0, 17, 410, 13, "Configuration");
    tSkin::StyleLabel(*heading, 14, true);
    heading->labelcolor(tSkin::Gold());

    mWidgets.patchPath = new Fl_Input(127, 59, 247, 20, "Path to patch files:");
    mWidgets.patchPath->labelsize(kLabelSize);
    mWidgets.patchPath->textsize(kLabelSize);
    mWidgets.patchPath->cursor_color(tSkin::Gold());
    mWidgets.patchPath->when(FL_WHEN_CHANGED);
    mWidgets.patchPath->callback(PathTyped, this);
    mWidgets.patchPath->tooltip("Where the file dialogs start");
    mWidgets.choosePath = Button(374, 59, 25, 20, "...");
    mWidgets.choosePath->callback(ChoosePath, this);
    mWidgets.choosePath->tooltip("Choose the folder of the patch files");

    // The note frames the device settings; its text sits in its lower part.
    auto* note = new Fl_Box(FL_ENGRAVED_FRAME, 25, 91, 360, 197, kNote);
    note->align(FL_ALIGN_BOTTOM | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    tSkin::StyleLabel(*note, 11);
    note->labelcolor(tSkin::DimText());

    mWidgets.audioDevice = new Fl_Input(140, 107, 102, 20, "Audio device:");
    mWidgets.audioDevice->labelsize(kLabelSize);
    mWidgets.audioDevice->textsize(kLabelSize);
    mWidgets.audioDevice->cursor_color(tSkin::Gold());
    mWidgets.audioDevice->when(FL_WHEN_CHANGED);
    mWidgets.audioDevice->callback(DeviceTyped, this);
    mWidgets.audioDevice->tooltip("The ALSA device audio plays through, taken when \"On\" is "
                                  "pressed next");
    // The menu of listed devices beside the field, and the sample rate on the row's right.
    auto* menu = new tDeviceMenu(242, 107, 20, 20);
    mWidgets.devices = menu;
    menu->textsize(kLabelSize);
    menu->tooltip("The devices the system lists");
    menu->beforeOpening = [this] { ListDevices(); };
    menu->callback(DeviceChosen, this);
    auto* rate = new tSkinChoice(302, 107, 80, 20);
    mWidgets.sampleRate = rate;
    rate->labelsize(kLabelSize);
    rate->textsize(kLabelSize);
    for (const std::string& entry : config.Controls().rateChoice.Entries())
        rate->add(entry.c_str());
    tSkin::SpaceMenuItems(*rate);
    rate->copy_label("Rate:");
    rate->tooltip("The sample rate in Hz, taken when \"On\" is pressed next; a card that cannot "
                  "play it plays at the nearest rate it offers");

    Label(66, 135, 74, 20, "Period size:");
    mWidgets.frames = Output(150, 135, 36, 20, "frames");
    mWidgets.frames->align(FL_ALIGN_RIGHT);
    mWidgets.period = Slider(249, 135, 101, 20, 0.0, 4.0);
    mWidgets.period->tooltip("Frames per period: 16, 32, 64, 128 or 256");

    Label(40, 165, 100, 20, "# of fragments:");
    mWidgets.fragmentsBox = Output(151, 165, 35, 20, "# of fragments:");
    // The label box beside it already says so.
    mWidgets.fragmentsBox->labeltype(FL_NO_LABEL);
    mWidgets.fragments = Slider(248, 165, 101, 20, 2.0, 10.0);
    mWidgets.fragments->tooltip("Periods in the device's buffer");

    Label(53, 196, 87, 19, "Output delay:");
    mWidgets.delay = Output(150, 195, 36, 20, "mS");
    mWidgets.delay->align(FL_ALIGN_RIGHT);
    mWidgets.defaults = Button(250, 193, 100, 23, "Default Values");
    mWidgets.defaults->callback(Defaults, this);

    auto* system = new tSkinChoice(150, 226, 80, 20);
    mWidgets.audioSystem = system;
    system->labelsize(kLabelSize);
    system->textsize(kLabelSize);
    for (const std::string& entry : config.Controls().audioSystem.Entries())
        system->add(entry.c_str());
    tSkin::SpaceMenuItems(*system);
    system->copy_label(config.Controls().audioSystem.Label().c_str());
    system->tooltip("ALSA plays to the audio device above; JACK plays through a JACK server "
                    "(or PipeWire's JACK). Taken when \"On\" is pressed next");

    auto* scale = new tSkinChoice(100, 296, 76, 22);
    mWidgets.uiScale = scale;
    scale->labelsize(kLabelSize);
    scale->textsize(kLabelSize);
    for (const std::string& entry : config.Controls().uiScale.Entries()) scale->add(entry.c_str());
    tSkin::SpaceMenuItems(*scale);
    scale->copy_label(config.Controls().uiScale.Label().c_str());
    scale->tooltip("The size of every window, taken when Kelvora starts next "
                   "(KELVORA_SCALE overrides it)");
    auto* when = new Fl_Box(182, 296, 200, 22, "from the next start of Kelvora");
    when->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    tSkin::StyleLabel(*when, 11);
    when->labelcolor(tSkin::DimText());

    mWidgets.dismiss = Button(125, 329, 60, 23, "Dismiss");
    mWidgets.dismiss->callback(Dismiss, this);
    mWidgets.save = Button(221, 329, 60, 23, "Save");
    mWidgets.save->callback(Save, this);
    window->end();
    tUiScale::ScaleWindow(*window);
    Fl_Group::current(outer);

    tConfigControls& controls = config.Controls();
    mBinding.Bind(mWidgets.period, controls.periodSlider, [this] {
        mConfig.MovePeriodSlider(mConfig.Controls().periodSlider.Index());
        mBinding.Refresh();
    });
    mBinding.Bind(mWidgets.fragments, controls.fragmentsSlider, [this] {
        mConfig.MoveFragmentsSlider(mConfig.Controls().fragmentsSlider.Value());
        mBinding.Refresh();
    });
    mBinding.Bind(mWidgets.sampleRate, controls.rateChoice, [this] {
        mConfig.ChooseSampleRate(mConfig.Controls().rateChoice.Index());
        mBinding.Refresh();
    });
    mBinding.Bind(mWidgets.audioSystem, controls.audioSystem);
    mBinding.Bind(mWidgets.uiScale, controls.uiScale);
    mBinding.BindText(mWidgets.frames, controls.framesBox, Whole);
    mBinding.BindText(mWidgets.fragmentsBox, controls.fragmentsBox, Whole);
    mBinding.BindText(mWidgets.delay, controls.outputDelay, OneDecimal);
    ShowTexts();
}

void tConfigWindow::ListDevices() {
    mWidgets.devices->clear();
    if (!mLister) return;
    for (const std::string& name : mLister()) {
        // Plain text: "/" and "&" are menu syntax.
        std::string text;
        for (char c : name) {
            if (c == '/' || c == '&' || c == '_' || c == '\\') text += '\\';
            text += c;
        }
        mWidgets.devices->add(text.c_str());
    }
    tSkin::SpaceMenuItems(*mWidgets.devices);
}

void tConfigWindow::DeviceChosen(Fl_Widget*, void* data) {
    auto* self = static_cast<tConfigWindow*>(data);
    const Fl_Menu_Item* item = self->mWidgets.devices->mvalue();
    if (item == nullptr || item->label() == nullptr) return;
    self->mConfig.SetAudioDevice(item->label());
    self->ShowTexts();
}

tConfigWindow::~tConfigWindow() = default;

void tConfigWindow::ShowTexts() {
    mWidgets.patchPath->value(mConfig.PatchPath().c_str());
    mWidgets.audioDevice->value(mConfig.AudioDevice().c_str());
}

void tConfigWindow::Show() {
    ShowTexts();
    mBinding.ShowAll();
    mWindow->show();
}

void tConfigWindow::Hide() {
    mWindow->hide();
}

void tConfigWindow::PathTyped(Fl_Widget* widget, void* self) {
    static_cast<tConfigWindow*>(self)->mConfig.SetPatchPath(
        static_cast<Fl_Input*>(widget)->value());
}

void tConfigWindow::DeviceTyped(Fl_Widget* widget, void* self) {
    static_cast<tConfigWindow*>(self)->mConfig.SetAudioDevice(
        static_cast<Fl_Input*>(widget)->value());
}

void tConfigWindow::ChoosePath(Fl_Widget*, void* data) {
    auto* self = static_cast<tConfigWindow*>(data);
    const std::string chosen = self->mDialogs.chooseFile(
        "Path to Patch Files", "{*.mst,*.pst,*.flt,*efx}", self->mConfig.PatchDir());
    if (chosen.empty()) return;
    self->mConfig.ChoosePatchDir(chosen);
    self->ShowTexts();
}

void tConfigWindow::Defaults(Fl_Widget*, void* data) {
    auto* self = static_cast<tConfigWindow*>(data);
    self->mConfig.SetDefaults();
    self->ShowTexts();
    self->mBinding.Refresh();
}

void tConfigWindow::Dismiss(Fl_Widget*, void* data) {
    static_cast<tConfigWindow*>(data)->Hide();
}

void tConfigWindow::Save(Fl_Widget*, void* data) {
    auto* self = static_cast<tConfigWindow*>(data);
    std::string error;
    if (!self->mConfig.Write(error)) self->mDialogs.alert(error);
}
