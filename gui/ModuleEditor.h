// What the three editor windows share: the window and its class name, the binding of every
// widget to its control, the title that follows the patch name, the transport buttons that
// follow the slot's light, the patch dialogs, the skin and the UI scale, and the tooltips that
// say what each control does and which MIDI controller moves it. Escape closes the window.
//
// The window is a view: it holds no sound parameter of its own. Widgets write their controls
// through the binding; the GUI timer shows what MIDI, patch loading and the engine wrote.
// Operations that touch an inserted slot's engine (switching, channel, loading) hold the
// rack's guard.
#pragma once

#include "core/Rack.h"
#include "gui/ControlBinding.h"
#include "gui/ControllerProbe.h"
#include "gui/EditorWindow.h"
#include "gui/PatchDialog.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class Fl_Button;
class Fl_Choice;
class Fl_Double_Window;
class Fl_Group;
class Fl_Light_Button;
class Fl_Menu_Bar;
class Fl_Value_Slider;
class tControl;

class tModuleEditor : public tEditorWindow {
public:
    ~tModuleEditor() override;

    void Open() override;
    void Close() override;
    bool IsOpen() const override;
    void LoadDialog() override;
    void SaveDialog() override;

    // The dialogs' work once a file is chosen. Loading shows every new value and the new
    // title and redraws the rack; false (after a message box) when the file cannot be read.
    bool LoadPatchPath(const std::string& path);
    // Forces the module's extension, asks before replacing an existing file, writes, retitles
    // and redraws the rack. False when cancelled or when writing failed (after a message box;
    // caption and title are then unchanged).
    bool SavePatchPath(const std::string& path);

    Fl_Double_Window& Window() { return *mWindow; }
    tControlBinding& Binding() { return mBinding; }
    tSlot& Slot() { return mSlot; }
    // The toolkit dialogs by default; tests put their own.
    tDialogHooks hooks = ToolkitDialogHooks();

protected:
    // Builds the (hidden) window; the derived constructor adds the widgets and calls Finish(),
    // which gives every control its tooltip and scales the window.
    tModuleEditor(tSlot& slot, const tModuleContext& context, int w, int h, const char* windowClass,
                  const char* pattern);
    void Finish();

    // What a control does, for its tooltip.
    void Describe(const tControl& control, const char* text);
    // The module's controller map and the struct its offsets count from; gate names the switch
    // that lets controllers act (or null). Without a map no controller moves a control.
    void UseControllers(const tControllerMap* map, const void* base, const char* gate);

    // Widget builders: a group stays open for its widgets until the caller ends it; every
    // value widget is bound to its control and labelled with its label.
    Fl_Group* AddGroup(int x, int y, int w, int h, const char* label, bool labelInside);
    Fl_Value_Slider* AddSlider(int x, int y, tControl& control, int w = 115, int h = 20);
    Fl_Choice* AddChoice(int x, int y, int w, tControl& control,
                         tControlBinding::tAction action = {});
    Fl_Light_Button* AddSwitch(int x, int y, tControl& control,
                               tControlBinding::tAction action = {});
    // "@||", "@>" and the stop button; "@>" is shown down while the slot is on.
    void AddTransport(int pauseX, int playX, int y, int stopX, int stopY, const char* stopLabel);
    // The menu bar with its two menus (File: load, save, close; Help: the mapping window when
    // showMapping is set).
    Fl_Menu_Bar* AddMenu(int x, int y, int w, int h, const char* file, const char* load,
                         const char* save, const char* close, const char* help = nullptr,
                         const char* mapping = nullptr);

    // The slot's operations from the window.
    void SwitchOn();
    void SwitchOff();
    void SetChannel(int channel);
    // What "StopSounds" does in the module (under the rack's guard).
    virtual void StopSounds() = 0;
    // Shows the module's mapping window (modules that have one).
    virtual void ShowMapping() {}
    // Runs op on the slot's engine, under the rack's guard when the slot is inserted.
    template <class F> void WithEngine(F op);

    // Title and light as the slot has them now.
    void FollowSlot();

    const tModuleContext& Context() const { return mContext; }

private:
    static void MenuLoad(Fl_Widget*, void* editor);
    static void MenuSave(Fl_Widget*, void* editor);
    static void MenuClose(Fl_Widget*, void* editor);
    static void MenuMapping(Fl_Widget*, void* editor);

    tSlot& mSlot;
    tModuleContext mContext;
    const char* mPattern;
    std::unique_ptr<Fl_Double_Window> mWindow; // destroyed after the binding lets go of it
    tControlBinding mBinding;
    std::string mTitle;
    Fl_Button* mPlay = nullptr;
    Fl_Group* mOuterGroup = nullptr;
    std::map<const tControl*, const char*> mDescriptions;
    const tControllerMap* mControllers = nullptr;
    const void* mControlsBase = nullptr;
    const char* mGate = nullptr;
};

template <class F> void tModuleEditor::WithEngine(F op) {
    std::optional<tRack::tGuard> guard;
    if (mContext.rack.Contains(&mSlot)) guard.emplace(mContext.rack);
    op();
}
