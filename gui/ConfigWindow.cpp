#include "gui/ConfigWindow.h"

#include "core/Config.h"
#include "gui/Artwork.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
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

Fl_Box* Label(int x, int y, int w, int h, const char* text) {
    auto* box = new Fl_Box(x, y, w, h, text);
    box->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
    return box;
}

Fl_Slider* Slider(int x, int y, int w, int h, double minimum, double maximum) {
    auto* slider = new Fl_Slider(x, y, w, h);
    slider->type(FL_HOR_NICE_SLIDER);
    slider->bounds(minimum, maximum);
    slider->step(1.0);
    return slider;
}

} // namespace

tConfigWindow::tConfigWindow(tConfig& config, const tDialogs& dialogs)
    : mConfig(config), mDialogs(dialogs) {
    auto* window = new Fl_Window(408, 296, "Kelvora Configuration");
    mWindow.reset(window);
    mWidgets.window = window;
    new tArtBox(15, 3, 85, 45, DrawLogo);
    auto* heading = new Fl_Box(0, 17, 410, 13, "Configuration");
    heading->labelfont(FL_HELVETICA_BOLD);
    heading->labelsize(14);

    mWidgets.patchPath = new Fl_Input(127, 59, 247, 20, "Path to patch files:");
    mWidgets.patchPath->labelsize(12);
    mWidgets.patchPath->when(FL_WHEN_CHANGED);
    mWidgets.patchPath->callback(PathTyped, this);
    mWidgets.choosePath = new Fl_Button(374, 59, 25, 20, "...");
    mWidgets.choosePath->callback(ChoosePath, this);

    // The note frames the device settings; its text sits in its lower part.
    auto* note = new Fl_Box(FL_ENGRAVED_FRAME, 25, 91, 360, 169, kNote);
    note->align(FL_ALIGN_BOTTOM | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    note->labelsize(11);

    mWidgets.audioDevice = new Fl_Input(140, 107, 102, 20, "Audio device:");
    mWidgets.audioDevice->when(FL_WHEN_CHANGED);
    mWidgets.audioDevice->callback(DeviceTyped, this);
    mWidgets.sampleRate = new Fl_Choice(310, 107, 68, 20, "Sample rate:");
    mWidgets.sampleRate->labelsize(12);
    for (const std::string& entry : config.Controls().rateChoice.Entries())
        mWidgets.sampleRate->add(entry.c_str());

    Label(66, 135, 74, 20, "Period size:");
    mWidgets.frames = new Fl_Output(150, 135, 36, 20, "frames");
    mWidgets.frames->align(FL_ALIGN_RIGHT);
    mWidgets.period = Slider(249, 135, 101, 20, 0.0, 4.0);

    Label(40, 165, 100, 20, "# of fragments:");
    mWidgets.fragmentsBox = new Fl_Output(151, 165, 35, 20, "# of fragments:");
    // The label box beside it already says so.
    mWidgets.fragmentsBox->labeltype(FL_NO_LABEL);
    mWidgets.fragments = Slider(248, 165, 101, 20, 2.0, 10.0);

    Label(53, 196, 87, 19, "Output delay:");
    mWidgets.delay = new Fl_Output(150, 195, 36, 20, "mS");
    mWidgets.delay->align(FL_ALIGN_RIGHT);
    mWidgets.defaults = new Fl_Button(250, 193, 100, 23, "Default Values");
    mWidgets.defaults->callback(Defaults, this);

    mWidgets.dismiss = new Fl_Button(125, 267, 60, 23, "Dismiss");
    mWidgets.dismiss->callback(Dismiss, this);
    mWidgets.save = new Fl_Button(221, 267, 60, 23, "Save");
    mWidgets.save->callback(Save, this);
    window->end();

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
    mBinding.BindText(mWidgets.frames, controls.framesBox, Whole);
    mBinding.BindText(mWidgets.fragmentsBox, controls.fragmentsBox, Whole);
    mBinding.BindText(mWidgets.delay, controls.outputDelay, OneDecimal);
    ShowTexts();
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
    if (!self->mConfig.Write()) self->mDialogs.alert("Cant write config file");
}
