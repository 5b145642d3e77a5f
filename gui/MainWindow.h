// The main window: menus, the audio "On" and "stereo" buttons with the audio light, the load
// meter, the rack with its module icons, and the master section (limiter and VU switches, VU
// meter, master volume). It owns the rack view with one editor per module, the configuration,
// About and keyboard windows, and runs the GUI timer that shows the meters and other controls
// written by the audio and MIDI threads.
//
// The window can be resized: the rack grows with it (icons keep their places), the top bar's
// controls stay at its right and the master section at its bottom; its size at factor 1 is
// kept in the rc file. A rack that changed since it was loaded or saved is not given up
// (loading, clearing, exit) without asking Save / Discard / Cancel. Notes that arrive where
// nothing can sound (a module switched off, an effects unit switched off, audio off) are told
// in the rack's status line.
#pragma once

#include "gui/AboutWindow.h"
#include "gui/AudioNotices.h"
#include "gui/ConfigWindow.h"
#include "gui/ControlBinding.h"
#include "gui/EditorWindow.h"
#include "gui/FileDialogs.h"
#include "gui/KeyboardWindow.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class tRack;
class tConfig;
class tAudioSwitch;
class tLoadCounters;
struct tMasterControls;
class tRackView;
class tSlot;
class Fl_Double_Window;
class Fl_Menu_Bar;
class Fl_Slider;
class Fl_Value_Slider;
class Fl_Button;
class Fl_Widget;

// What the program hands the main window; all of it outlives the window.
struct tProgramParts {
    tRack& rack;
    tMasterControls& master;
    tConfig& config;
    tLoadCounters& counters;
    tAudioSwitch& audio; // "On" and "stereo" go through Start, Stop and SetChannels
    // The audio devices the system lists, for the configuration window's menu.
    tDeviceLister audioDevices = {};
};

class tMainWindow {
public:
    static constexpr int kNewModuleX = 190;
    static constexpr int kNewModuleY = 50;
    // The window's size at factor 1, and its smallest.
    static constexpr int kWidth = 594;
    static constexpr int kHeight = 374;

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

    // Shows the window (window class "kelVora") at the size the rc file keeps and starts the
    // GUI timer.
    void Show(int argc = 0, char** argv = nullptr);
    // Reads a rack file in place of the rack, as File -> "Load" does once a file is chosen; false
    // (after a message) when it could not be read: the rack then stays as it was.
    bool LoadRack(const std::string& path);
    // Runs the toolkit's loop until "Exit" or the window is closed (under a session: until
    // "Exit" or Quit, the window may be hidden meanwhile); returns the exit status.
    int Run();
    // Audio off, every window hidden, the loop ended; nothing is asked (SIGTERM, the session
    // manager).
    void Quit();

    // Under a session manager the session's rack is saved only by the manager: File -> "Load"
    // imports a rack (without asking first) and "Save" exports a copy, and the rack keeps
    // counting as changed; closing the window hides it. shown hears of every showing and
    // hiding.
    void SetSession(std::function<void(bool shown)> shown);
    // The session's own rack: written to path, then unchanged.
    bool SaveSessionRack(const std::string& path, std::string& error);
    // An empty rack, unchanged, without asking.
    void ClearRack();
    void SetVisible(bool visible);

    // File -> "Exit", Ctrl+Q and closing the window: asks first when the rack changed; then
    // audio off, the window's size kept, every window hidden. False when the user cancelled.
    bool Exit();
    // A menu item by its path ("File/Load", "New/Effects", "Presets/Organ"), as if chosen; an
    // item that opens a dialog may be named without its "...".
    bool Choose(const char* path);
    // The dialogs used from now on (tests answer them themselves).
    void SetDialogs(tDialogs dialogs);

    // Whether the rack differs from the one last loaded, saved or cleared: modules, their
    // places, connections, channels, switches and sound settings.
    bool Changed() const;

    const tWidgets& Widgets() const { return mWidgets; }
    tRackView& RackView() { return *mWidgets.rack; }
    tConfigWindow& ConfigWindow() { return *mConfigWindow; }
    tAboutWindow& AboutWindow() { return *mAboutWindow; }
    tKeyboardWindow& KeyboardWindow() { return *mKeyboard; }
    // Copies the audio state and the channel count into their buttons (the GUI timer's step).
    void ShowAudioState();
    // Looks at the notes that arrived since the last look and tells in the status line when
    // they cannot sound (the GUI timer's step).
    void WatchNotes();
    // Places every widget for the window's present size.
    void Layout();

private:
    struct tPlaced {
        Fl_Widget* widget;
        int x, y, w, h;     // at factor 1 in a window of kWidth x kHeight
        bool right, bottom; // moves with the right / bottom edge
        bool wide, tall;    // grows with the window
    };

    void BuildTopBar();
    void BuildRack(tEditorFactory editors);
    void BuildMasterSection();
    void BuildMenu();
    void Keep(Fl_Widget* widget, bool right, bool bottom, bool wide, bool tall);
    void MenuChosen(const std::string& path);
    // Asks Save / Discard / Cancel when the rack changed; true when it may be given up.
    bool MayGiveUpRack(const std::string& what);
    bool ReadRack(const std::string& path, bool insert);
    bool SaveRack();
    void NewRack();
    void NewModule(int type);
    void AddPreset(const char* label);
    void PressOn();
    void PressStereo();
    void TellAudioFailed();
    void KeepWindowSize();
    void MarkSaved();
    std::string RackText() const;
    // Why notes on channel cannot be heard, or empty; the module whose lamp should call.
    std::string Silence(int channel, const tSlot*& culprit) const;

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
    std::unique_ptr<tKeyboardWindow> mKeyboard;
    tControlBinding mBinding;
    std::vector<tPlaced> mPlaced;
    std::string mSavedText;
    bool mSession = false;
    bool mQuit = false;
    std::function<void(bool shown)> mShown;
    std::array<std::uint32_t, 16> mNotesSeen{};
};
