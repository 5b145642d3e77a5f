#include "gui/ControlBinding.h"

#include "gui/GuiTimer.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Valuator.H>

#include <algorithm>

tControlBinding::tControlBinding() {
    tGuiTimer::Add(this);
}

tControlBinding::~tControlBinding() {
    tGuiTimer::Remove(this);
    // The widgets usually die with their window after this binding; never let a late
    // callback reach a freed entry.
    for (auto& entry : mEntries)
        if (entry->view != tView::Meter && entry->view != tView::Text)
            entry->widget->callback(static_cast<Fl_Callback*>(nullptr), nullptr);
}

tControlBinding::tEntry& tControlBinding::Add(Fl_Widget* widget, tControl& control, tView view,
                                              tAction action) {
    mEntries.push_back(std::make_unique<tEntry>(
        tEntry{this, widget, &control, view, std::move(action), {}, control.Serial()}));
    tEntry& entry = *mEntries.back();
    if (view != tView::Meter && view != tView::Text) widget->callback(Changed, &entry);
    return entry;
}

void tControlBinding::Bind(Fl_Valuator* widget, tControl& control, tAction action) {
    Show(Add(widget, control, tView::Valuator, std::move(action)));
}

void tControlBinding::Bind(Fl_Choice* widget, tControl& control, tAction action) {
    Show(Add(widget, control, tView::Choice, std::move(action)));
}

void tControlBinding::Bind(Fl_Button* widget, tControl& control, tAction action) {
    Show(Add(widget, control, tView::Button, std::move(action)));
}

void tControlBinding::BindDisplay(Fl_Valuator* widget, tControl& control) {
    Show(Add(widget, control, tView::Meter, {}));
}

void tControlBinding::BindText(Fl_Output* widget, tControl& control, tFormat format) {
    tEntry& entry = Add(widget, control, tView::Text, {});
    entry.format = std::move(format);
    Show(entry);
}

void tControlBinding::Changed(Fl_Widget* widget, void* data) {
    tEntry& entry = *static_cast<tEntry*>(data);
    tControl& control = *entry.control;
    switch (entry.view) {
    case tView::Valuator:
        control.Set(static_cast<Fl_Valuator*>(widget)->value());
        break;
    case tView::Choice:
        control.Set(static_cast<Fl_Choice*>(widget)->value());
        break;
    case tView::Button:
        control.Set(static_cast<Fl_Button*>(widget)->value());
        break;
    case tView::Meter:
    case tView::Text:
        return;
    }
    // The widget already shows what the user did; show the control's rule if it differs.
    entry.seen = control.Serial();
    Show(entry);
    if (entry.action) entry.action();
}

void tControlBinding::Show(tEntry& entry) {
    const tControl& control = *entry.control;
    const double value = control.Value();
    switch (entry.view) {
    case tView::Valuator: {
        auto* valuator = static_cast<Fl_Valuator*>(entry.widget);
        if (valuator->value() != value) valuator->value(value);
        break;
    }
    case tView::Choice: {
        auto* choice = static_cast<Fl_Choice*>(entry.widget);
        if (choice->value() != control.Index()) choice->value(control.Index());
        break;
    }
    case tView::Button: {
        auto* button = static_cast<Fl_Button*>(entry.widget);
        if (button->value() != (control.IsOn() ? 1 : 0)) button->value(control.IsOn() ? 1 : 0);
        break;
    }
    case tView::Meter: {
        auto* meter = static_cast<Fl_Valuator*>(entry.widget);
        const auto colour = static_cast<Fl_Color>(control.Colour());
        if (meter->selection_color() != colour) {
            meter->selection_color(colour);
            meter->redraw();
        }
        if (meter->value() != value) meter->value(value);
        break;
    }
    case tView::Text: {
        auto* output = static_cast<Fl_Output*>(entry.widget);
        const std::string text = entry.format(value);
        if (!output->value() || text != output->value()) output->value(text.c_str());
        break;
    }
    }
}

int tControlBinding::Refresh() {
    int shown = 0;
    for (auto& entry : mEntries) {
        const std::uint32_t serial = entry->control->Serial();
        if (serial == entry->seen) continue;
        entry->seen = serial;
        Show(*entry);
        ++shown;
    }
    return shown;
}

void tControlBinding::ShowAll() {
    for (auto& entry : mEntries) {
        entry->seen = entry->control->Serial();
        Show(*entry);
    }
}

void tControlBinding::Unbind(Fl_Widget* widget) {
    std::erase_if(mEntries, [widget](const std::unique_ptr<tEntry>& entry) {
        return entry->widget == widget;
    });
}

tControl* tControlBinding::ControlOf(const Fl_Widget* widget) const {
    for (const auto& entry : mEntries)
        if (entry->widget == widget) return entry->control;
    return nullptr;
}
