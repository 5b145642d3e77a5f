// The configuration window (Options -> "Configuration"): patch directory with its "..."
// chooser, audio device with a menu of the devices the system lists, the sample rate, period
// and fragment sliders with their boxes, the output delay they give, "Default Values", the
// audio system (ALSA or JACK, taken at the next "On"), the UI
// scale (taken when the program starts next), "Dismiss" and "Save".
//
// The sliders, boxes and the scale choice are views of the configuration's controls; the two
// texts are written into the configuration as they are typed and shown again when the window
// opens.
#pragma once

#include "gui/ControlBinding.h"
#include "gui/FileDialogs.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class tConfig;
class Fl_Window;
class Fl_Input;
class Fl_Output;
class Fl_Slider;
class Fl_Button;
class Fl_Choice;
class Fl_Menu_Button;

// The names of the audio devices the system offers.
using tDeviceLister = std::function<std::vector<std::string>()>;

class tConfigWindow {
public:
    struct tWidgets {
        Fl_Window* window;
        Fl_Input* patchPath;
        Fl_Button* choosePath;
        Fl_Input* audioDevice;
        Fl_Choice* sampleRate;
        Fl_Menu_Button* devices; // beside the device field; empty without a lister
        Fl_Output* frames;
        Fl_Slider* period;
        Fl_Output* fragmentsBox;
        Fl_Slider* fragments;
        Fl_Output* delay;
        Fl_Button* defaults;
        Fl_Choice* audioSystem; // ALSA or JACK
        Fl_Choice* uiScale;
        Fl_Button* dismiss;
        Fl_Button* save;
    };

    tConfigWindow(tConfig& config, const tDialogs& dialogs, tDeviceLister devices = {});
    ~tConfigWindow();
    tConfigWindow(const tConfigWindow&) = delete;
    tConfigWindow& operator=(const tConfigWindow&) = delete;

    // Shows the current settings and raises the window.
    void Show();
    void Hide();
    // The texts again from the configuration (the controls follow by themselves).
    void ShowTexts();
    // Fills the device menu with what the lister gives now.
    void ListDevices();
    const tWidgets& Widgets() const { return mWidgets; }

private:
    static void PathTyped(Fl_Widget* widget, void* self);
    static void DeviceTyped(Fl_Widget* widget, void* self);
    static void ChoosePath(Fl_Widget* widget, void* self);
    static void Defaults(Fl_Widget* widget, void* self);
    static void Dismiss(Fl_Widget* widget, void* self);
    static void Save(Fl_Widget* widget, void* self);
    static void DeviceChosen(Fl_Widget* widget, void* self);

    tConfig& mConfig;
    const tDialogs& mDialogs;
    tDeviceLister mLister;
    tWidgets mWidgets{};
    std::unique_ptr<Fl_Window> mWindow;
    tControlBinding mBinding;
};
