#include "gui/ModuleEditor.h"

#include "core/Config.h"
#include "core/Path.h"
#include "core/Slot.h"
#include "gui/GuiTimer.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Value_Slider.H>

#include <sys/stat.h>

#include <vector>

namespace {

constexpr int kLabelSize = 11;
constexpr int kValueSize = 10;

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

void Collect(Fl_Group& group, std::vector<Fl_Widget*>& out) {
    for (int i = 0; i < group.children(); ++i) {
        Fl_Widget* child = group.child(i);
        out.push_back(child);
        if (Fl_Group* inner = child->as_group()) Collect(*inner, out);
    }
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
    tSkin::StyleWindow(*mWindow);
    mWindow->begin();
}

void tModuleEditor::Describe(const tControl& control, const char* text) {
    mDescriptions[&control] = text;
}

void tModuleEditor::UseControllers(const tControllerMap* map, const void* base, const char* gate) {
    mControllers = map;
    mControlsBase = base;
    mGate = gate;
}

void tModuleEditor::Finish() {
    mWindow->end();
    // Every control's tooltip: what it does, then which controller moves it.
    std::vector<Fl_Widget*> widgets;
    Collect(*mWindow, widgets);
    for (Fl_Widget* widget : widgets) {
        const tControl* control = mBinding.ControlOf(widget);
        if (control == nullptr || control->Kind() == tControlKind::Display) continue;
        std::string tip;
        if (const auto found = mDescriptions.find(control); found != mDescriptions.end())
            tip = std::string(found->second) + "\n";
        std::vector<int> numbers;
        if (mControllers != nullptr && mControlsBase != nullptr)
            if (const auto found = mControllers->find(OffsetIn(mControlsBase, *control));
                found != mControllers->end())
                numbers = found->second;
        tip += ControllerText(numbers);
        if (!numbers.empty() && mGate != nullptr)
            tip += std::string(" (with \"") + mGate + "\" on)";
        widget->copy_tooltip(tip.c_str());
    }
    tUiScale::ScaleWindow(*mWindow);
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
    tSkin::StylePanel(*group);
    group->copy_label(label);
    group->labelsize(kLabelSize + 1);
    group->align(labelInside ? FL_ALIGN_TOP | FL_ALIGN_INSIDE : FL_ALIGN_TOP_LEFT);
    return group;
}

Fl_Value_Slider* tModuleEditor::AddSlider(int x, int y, tControl& control, int w, int h) {
    auto* slider = new tValueSlider(x, y, w, h);
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
    auto* choice = new tSkinChoice(x, y, w, 20);
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
    tSkin::SpaceMenuItems(*choice);
    mBinding.Bind(choice, control, std::move(action));
    return choice;
}

Fl_Light_Button* tModuleEditor::AddSwitch(int x, int y, tControl& control,
                                          tControlBinding::tAction action) {
    auto* light = new tSwitch(x, y, 15, 10);
    light->copy_label(control.Label().c_str());
    light->labelsize(kLabelSize);
    light->align(FL_ALIGN_RIGHT);
    mBinding.Bind(light, control, std::move(action));
    return light;
}

void tModuleEditor::AddTransport(int pauseX, int playX, int y, int stopX, int stopY,
                                 const char* stopLabel) {
    auto* pause = new Fl_Button(pauseX, y, 25, 25, "@||");
    tSkin::StyleButton(*pause);
    pause->labelsize(11);
    pause->labelcolor(tSkin::Gold());
    pause->tooltip("Switches the module off");
    pause->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->SwitchOff(); }, this);
    mPlay = new Fl_Button(playX, y, 25, 25, "@>");
    tSkin::StyleButton(*mPlay);
    mPlay->labelcolor(tSkin::LampOn());
    mPlay->down_box(FL_DOWN_BOX);
    mPlay->selection_color(fl_rgb_color(40, 90, 44));
    mPlay->tooltip("Switches the module on; lit while it is on");
    mPlay->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->SwitchOn(); }, this);
    auto* stop = new Fl_Button(stopX, stopY, 75, 15, stopLabel);
    tSkin::StyleButton(*stop);
    stop->labelsize(10);
    stop->tooltip("Silences every note of the module at once");
    stop->callback(
        [](Fl_Widget*, void* editor) { static_cast<tModuleEditor*>(editor)->StopSounds(); }, this);
}

Fl_Menu_Bar* tModuleEditor::AddMenu(int x, int y, int w, int h, const char* file, const char* load,
                                    const char* save, const char* close, const char* help,
                                    const char* mapping) {
    auto* menu = new Fl_Menu_Bar(x, y, w, h);
    tSkin::StyleMenu(*menu);
    menu->textsize(kLabelSize + 1);
    // Loading and saving open a dialog: "...".
    const std::string prefix = std::string(file) + "/";
    menu->add((prefix + load + "\xE2\x80\xA6").c_str(), 0, MenuLoad, this);
    menu->add((prefix + save + "\xE2\x80\xA6").c_str(), 0, MenuSave, this, FL_MENU_DIVIDER);
    menu->add((prefix + close).c_str(), 0, MenuClose, this);
    if (help != nullptr && mapping != nullptr)
        menu->add((std::string(help) + "/" + mapping).c_str(), 0, MenuMapping, this);
    tSkin::SpaceMenuItems(*menu);
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
