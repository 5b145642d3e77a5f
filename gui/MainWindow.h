// The main window: menus, the audio "On" and "stereo" buttons with the audio light, the load
// meter, the rack with its module icons, and the master section (limiter and VU switches, VU
// meter, master volume). It owns the rack view with one editor per module, the configuration
// and About windows, and runs the GUI timer that shows the meters and other controls written
// by the audio and MIDI threads.
#pragma once

#include "gui/AboutWindow.h"
#include "gui/AudioNotices.h"
#include "gui/ConfigWindow.h"
#include "gui/ControlBinding.h"
#include "gui/EditorWindow.h"
#include "gui/FileDialogs.h"

#include <memory>
#include <string>

class tRack;
class tConfig;
class tAudioSwitch;
class tLoadCounters;
struct tMasterControls;
class tRackView;
class Fl_Double_Window;
class Fl_Menu_Bar;
class Fl_Slider;
class Fl_Value_Slider;
class Fl_Button;
class Fl_Light_Button;

// What the program hands the main window; all of it outlives the window.
struct tProgramParts {
    tRack& rack;
    tMasterControls& master;
    tConfig& config;
    tLoadCounters& counters;
    tAudioSwitch& audio; // "On" and "stereo" go through Start, Stop and SetChannels
};

class tMainWindow {
public:
    static constexpr int kNewModuleX = 190;
    static constexpr int kNewModuleY = 50;

    struct tWidgets {
        Fl_Double_Window* window;
        Fl_Menu_Bar* menu;
        Fl_Slider* loadMeter;
        Fl_Button* stereo;
        Fl_Button* on;
        Fl_Button* light;
        tRackView* rack;
        Fl_Button* limiter;
        Fl_Button* vuSwitch;
        Fl_Slider* vuMeter;
        Fl_Value_Slider* volume;
    };

    // Builds every widget; nothing is shown yet.
    tMainWindow(tProgramParts parts, tEditorFactory editors);
    ~tMainWindow();
    tMainWindow(const tMainWindow&) = delete;
    tMainWindow& operator=(const tMainWindow&) = delete;

    // Shows the window (window class "kelVora") and starts the GUI timer.
    void Show(int argc = 0, char** argv = nullptr);
    // Reads a rack file in place of the rack, as File -> "Load" does; false when it could not
    // be read.
    bool LoadRack(const std::string& path);
    // Runs the toolkit's loop until "Exit" or the window is closed; returns the exit status.
    int Run();

    // File -> "Exit" and closing the window: audio off, every window hidden.
    void Exit();
    // A menu item by its path ("File/Load", "New/Effects", "Presets/Organ"), as if chosen.
    bool Choose(const char* path);
    // The dialogs used from now on (tests answer them themselves).
    void SetDialogs(tDialogs dialogs);

    const tWidgets& Widgets() const { return mWidgets; }
    tRackView& RackView() { return *mWidgets.rack; }
    tConfigWindow& ConfigWindow() { return *mConfigWindow; }
    tAboutWindow& AboutWindow() { return *mAboutWindow; }
    // Copies the audio state and the channel count into their buttons (the GUI timer's step).
    void ShowAudioState();

private:
    void BuildTopBar();
    void BuildRack(tEditorFactory editors);
    void BuildMasterSection();
    void BuildMenu();
    void MenuChosen(const std::string& path);
    bool ReadRack(const std::string& path, bool insert);
    void SaveRack();
    void NewModule(int type);
    void AddPreset(const char* label);
    void PressOn();
    void PressStereo();
    void TellAudioFailed();

    static void MenuCallback(Fl_Widget* widget, void* self);
    static void OnCallback(Fl_Widget* widget, void* self);
    static void StereoCallback(Fl_Widget* widget, void* self);
    static void CloseCallback(Fl_Widget* widget, void* self);

    tProgramParts mParts;
    tDialogs mDialogs;
    tWidgets mWidgets{};
    std::unique_ptr<Fl_Double_Window> mWindow;
    std::unique_ptr<tConfigWindow> mConfigWindow;
    std::unique_ptr<tAboutWindow> mAboutWindow;
    std::unique_ptr<tAudioNotices> mNotices;
    tControlBinding mBinding;
};
