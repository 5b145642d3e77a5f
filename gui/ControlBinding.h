// Widgets as views of controls.
//
// A binding ties each widget of a window to the control that holds its value. The widget's
// callback writes the control by the control's own rules (a slider limits to its range, a
// choice takes an entry index, a switch stores 0 or 1) and then runs the window's action for
// that widget, if any. Refresh() shows in its widget every control whose value or colour was
// written elsewhere since the binding last looked: MIDI controllers, patch loading, meters
// written by the audio thread. The GUI timer calls Refresh() about 30 times a second; only the
// GUI thread ever touches a widget.
#pragma once

#include "core/Control.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Fl_Widget;
class Fl_Valuator;
class Fl_Choice;
class Fl_Button;
class Fl_Output;

class tControlBinding {
public:
    using tAction = std::function<void()>;
    using tFormat = std::function<std::string(double)>;

    // Registers with the GUI timer; the destructor unregisters and detaches the callbacks.
    tControlBinding();
    ~tControlBinding();
    tControlBinding(const tControlBinding&) = delete;
    tControlBinding& operator=(const tControlBinding&) = delete;

    // Sliders, fill sliders, counters, value inputs: the widget's value is the control's.
    void Bind(Fl_Valuator* widget, tControl& control, tAction action = {});
    // Choices: the selected entry is the control's index.
    void Bind(Fl_Choice* widget, tControl& control, tAction action = {});
    // Light, toggle and check buttons: on is 1.
    void Bind(Fl_Button* widget, tControl& control, tAction action = {});
    // Meters and read-only boxes: value shown, and for meters the control's colour as the
    // widget's selection colour. The user cannot write them.
    void BindDisplay(Fl_Valuator* widget, tControl& control);
    // A read-only text field showing the control's value through format.
    void BindText(Fl_Output* widget, tControl& control, tFormat format);

    // Shows every control written since it was last shown; returns how many widgets changed.
    int Refresh();
    // Shows every control now, changed or not.
    void ShowAll();
    // Forgets the widgets of one window part (they are about to be destroyed).
    void Unbind(Fl_Widget* widget);
    std::size_t Count() const { return mEntries.size(); }
    // The control bound to widget, or null.
    tControl* ControlOf(const Fl_Widget* widget) const;

private:
    enum class tView { Valuator, Choice, Button, Meter, Text };
    struct tEntry {
        tControlBinding* owner;
        Fl_Widget* widget;
        tControl* control;
        tView view;
        tAction action;
        tFormat format;
        std::uint32_t seen;
    };

    tEntry& Add(Fl_Widget* widget, tControl& control, tView view, tAction action);
    static void Changed(Fl_Widget* widget, void* entry);
    static void Show(tEntry& entry);

    std::vector<std::unique_ptr<tEntry>> mEntries;
};
