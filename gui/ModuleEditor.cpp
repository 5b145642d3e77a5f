#include "gui/ModuleEditor.h"

#include "core/Config.h"
#include "core/Path.h"
#include "core/Slot.h"
#include "gui/GuiTimer.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Value_Slider.H>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kLabelSize = 11;
constexpr int kValueSize = 10;

// A value slider whose box shows a continuous value with three decimals (or one above 10),
// so that it fits the box; stepped values show as the toolkit shows them.
class tValueSlider : public Fl_Value_Slider {
public:
    using Fl_Value_Slider::Fl_Value_Slider;
    int format(char* buffer) override {
        if (step() != 0.0) return Fl_Value_Slider::format(buffer);
        const double range = std::max(std::fabs(minimum()), std::fabs(maximum()));
        return std::snprintf(buffer, 128, range > 10.0 ? "%.1f" : "%.3f", value());
    }
};

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

tModuleEditor::tModuleEditor(tSlot& slot, const tModuleContext& context, int w, int h,
                             const char* windowClass, const char* pattern)
    : mSlot(slot), mContext(context), mPattern(pattern) {
    // A top-level window even when built while another window is being filled.
    mOuterGroup = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = std::make_unique<Fl_Double_Window>(w, h);
    mWindow->xclass(windowClass);
    mWindow->begin();
}

void tModuleEditor::Finish() {
    mWindow->end();
    Fl_Group::current(mOuterGroup);
    mTitle = mSlot.Title();
    mWindow->copy_label(mTitle.c_str());
    FollowSlot();
    tGuiTimer::Add(this, [this] { FollowSlot(); });
}

tModuleEditor::~tModuleEditor() {
    tGuiTimer::Remove(this);
    if (mWindow) mWindow->hide();
}

void tModuleEditor::Open() {
    FollowSlot();
    mWindow->show();
}

void tModuleEditor::Close() {
    mWindow->hide();
}

bool tModuleEditor::IsOpen() const {
    return mWindow->shown() != 0 && mWindow->visible() != 0;
}

// --- patches -----------------------------------------------------------------------------

void tModuleEditor::LoadDialog() {
    const std::string path = hooks.choose("Load", mPattern, mContext.config.PatchDir(), false);
    if (!path.empty()) LoadPatchPath(path);
}

void tModuleEditor::SaveDialog() {
    const std::string path = hooks.choose("Save", mPattern, mContext.config.PatchDir(), true);
    if (!path.empty()) SavePatchPath(path);
}

bool tModuleEditor::LoadPatchPath(const std::string& path) {
    std::string error;
    if (!LoadSlotPatch(mSlot, mContext.rack, path, error)) {
        hooks.alert(error);
        return false;
    }
    mBinding.Refresh();
    FollowSlot();
    if (mContext.redrawRack) mContext.redrawRack();
    return true;
}

bool tModuleEditor::SavePatchPath(const std::string& path) {
    const std::string file = ForceExtension(path, mSlot.PatchExtension());
    if (Exists(file) && !hooks.confirmOverwrite(file)) return false;
    std::string error;
    if (!SaveSlotPatch(mSlot, file, error)) {
        hooks.alert(error);
        return false;
    }
    FollowSlot();
    if (mContext.redrawRack) mContext.redrawRack();
    return true;
}

// --- slot operations -----------------------------------------------------------------------

void tModuleEditor::SwitchOn() {
    WithEngine([this] { mSlot.SwitchOn(); });
    mBinding.Refresh();
    FollowSlot();
    if (mContext.redrawRack) mContext.redrawRack();
}

void tModuleEditor::SwitchOff() {
    WithEngine([this] { mSlot.SwitchOff(); });
    mBinding.Refresh();
    FollowSlot();
    if (mContext.redrawRack) mContext.redrawRack();
}

void tModuleEditor::SetChannel(int channel) {
    WithEngine([this, channel] { mSlot.SetChannel(channel); });
    if (mContext.redrawRack) mContext.redrawRack();
}

void tModuleEditor::FollowSlot() {
    const std::string title = mSlot.Title();
    if (title != mTitle) {
        mTitle = title;
        mWindow->copy_label(mTitle.c_str());
    }
    if (mPlay != nullptr) {
        const int on = mSlot.IsOn() ? 1 : 0;
        if (mPlay->value() != on) mPlay->value(on);
    }
}

// --- widget builders -------------------------------------------------------------------------

Fl_Group* tModuleEditor::AddGroup(int x, int y, int w, int h, const char* label, bool labelInside) {
    // Left open: the widgets built next are its children until the caller ends it.
    auto* group = new Fl_Group(x, y, w, h);
    group->box(FL_ENGRAVED_BOX);
    group->copy_label(label);
    group->labelsize(kLabelSize + 1);
    group->labelfont(FL_HELVETICA_BOLD);
    group->align(labelInside ? FL_ALIGN_TOP | FL_ALIGN_INSIDE : FL_ALIGN_TOP_LEFT);
    return group;
}

Fl_Value_Slider* tModuleEditor::AddSlider(int x, int y, tControl& control, int w, int h) {
    auto* slider = new tValueSlider(x, y, w, h);
    slider->type(FL_HOR_NICE_SLIDER);
    slider->copy_label(control.Label().c_str());
    slider->align(FL_ALIGN_RIGHT);
    slider->labelsize(kLabelSize);
    slider->textsize(kValueSize);
    slider->bounds(control.Minimum(), control.Maximum());
    slider->step(control.Step());
    mBinding.Bind(slider, control);
    return slider;
}

Fl_Choice* tModuleEditor::AddChoice(int x, int y, int w, tControl& control,
                                    tControlBinding::tAction action) {
    auto* choice = new Fl_Choice(x, y, w, 20);
    if (!control.Label().empty()) choice->copy_label(control.Label().c_str());
    choice->labelsize(kLabelSize);
    choice->textsize(kLabelSize);
    for (const std::string& entry : control.Entries()) {
        // add() reads "/", "&" and "_" as menu syntax; an entry is plain text.
        std::string text;
        for (char c : entry) {
            if (c == '/' || c == '&' || c == '_' || c == '\\') text += '\\';
            text += c;
        }
        choice->add(text.c_str());
    }
    mBinding.Bind(choice, control, std::move(action));
    return choice;
}

Fl_Light_Button* tModuleEditor::AddSwitch(int x, int y, tControl& control,
                                          tControlBinding::tAction action) {
    auto* light = new Fl_Light_Button(x, y, 15, 10);
    light->copy_label(control.Label().c_str());
    light->labelsize(kLabelSize);
    light->align(FL_ALIGN_RIGHT);
    light->box(FL_NO_BOX);
    light->selection_color(FL_GREEN);
    mBinding.Bind(light, control, std::move(action));
    return light;
}

void tModuleEditor::AddTransport(int pauseX, int playX, int y, int stopX, int stopY,
                                 const char* stopLabel) {
    auto* pause = new Fl_Button(pauseX, y, 25, 25, "@||");
    pause->labelsize(11);
    pause->labelcolor(FL_DARK_BLUE);
    pause->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->SwitchOff(); }, this);
    mPlay = new Fl_Button(playX, y, 25, 25, "@>");
    mPlay->labelcolor(FL_DARK_GREEN);
    mPlay->down_box(FL_DOWN_BOX);
    mPlay->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->SwitchOn(); }, this);
    auto* stop = new Fl_Button(stopX, stopY, 75, 15, stopLabel);
    stop->labelsize(10);
    stop->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->StopSounds(); }, this);
}

Fl_Menu_Bar* tModuleEditor::AddMenu(int x, int y, int w, int h, const char* file, const char* load,
                                    const char* save, const char* close, const char* help,
                                    const char* mapping) {
    auto* menu = new Fl_Menu_Bar(x, y, w, h);
    menu->textsize(kLabelSize + 1);
    const std::string prefix = std::string(file) + "/";
    menu->add((prefix + load).c_str(), 0, MenuLoad, this);
    menu->add((prefix + save).c_str(), 0, MenuSave, this);
    menu->add((prefix + close).c_str(), 0, MenuClose, this);
    if (help != nullptr && mapping != nullptr)
        menu->add((std::string(help) + "/" + mapping).c_str(), 0, MenuMapping, this);
    return menu;
}

void tModuleEditor::MenuLoad(Fl_Widget*, void* editor) {
    static_cast<tModuleEditor*>(editor)->LoadDialog();
}

void tModuleEditor::MenuSave(Fl_Widget*, void* editor) {
    static_cast<tModuleEditor*>(editor)->SaveDialog();
}

void tModuleEditor::MenuClose(Fl_Widget*, void* editor) {
    static_cast<tModuleEditor*>(editor)->Close();
}

void tModuleEditor::MenuMapping(Fl_Widget*, void* editor) {
    static_cast<tModuleEditor*>(editor)->ShowMapping();
}
