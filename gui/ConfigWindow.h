// The configuration window (Options -> "Configuration"): patch directory with its "..."
// chooser, audio device, sample rate, period and fragment sliders with their boxes, the
// output delay they give, "Default Values", "Dismiss" and "Save".
//
// The sliders and boxes are views of the configuration's controls; the two texts are written
// into the configuration as they are typed and shown again when the window opens.
#pragma once

#include "gui/ControlBinding.h"
#include "gui/FileDialogs.h"

#include <memory>

class tConfig;
class Fl_Window;
class Fl_Input;
class Fl_Output;
class Fl_Slider;
class Fl_Button;
class Fl_Choice;

class tConfigWindow {
public:
    struct tWidgets {
        Fl_Window* window;
        Fl_Input* patchPath;
        Fl_Button* choosePath;
        Fl_Input* audioDevice;
        Fl_Choice* sampleRate;
        Fl_Output* frames;
        Fl_Slider* period;
        Fl_Output* fragmentsBox;
        Fl_Slider* fragments;
        Fl_Output* delay;
        Fl_Button* defaults;
        Fl_Button* dismiss;
        Fl_Button* save;
    };

    tConfigWindow(tConfig& config, const tDialogs& dialogs);
    ~tConfigWindow();
    tConfigWindow(const tConfigWindow&) = delete;
    tConfigWindow& operator=(const tConfigWindow&) = delete;

    // Shows the current settings and raises the window.
    void Show();
    void Hide();
    // The texts again from the configuration (the controls follow by themselves).
    void ShowTexts();
    const tWidgets& Widgets() const { return mWidgets; }

private:
    static void PathTyped(Fl_Widget* widget, void* self);
    static void DeviceTyped(Fl_Widget* widget, void* self);
    static void ChoosePath(Fl_Widget* widget, void* self);
    static void Defaults(Fl_Widget* widget, void* self);
    static void Dismiss(Fl_Widget* widget, void* self);
    static void Save(Fl_Widget* widget, void* self);

    tConfig& mConfig;
    const tDialogs& mDialogs;
    tWidgets mWidgets{};
    std::unique_ptr<Fl_Window> mWindow;
    tControlBinding mBinding;
};
