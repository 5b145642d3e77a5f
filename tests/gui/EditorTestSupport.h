// Shared checks of the editor window tests: widget tables, widget lookup, the rack and the
// program context around an editor, patch files in a scratch folder.
#pragma once

#include "core/Config.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "gui/EditorWindow.h"
#include "gui/GuiTimer.h"
#include "gui/ModuleEditor.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Fill_Slider.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Value_Slider.H>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace editortest {

enum class tKind { Slider, VerticalFill, Meter, Choice, Light, Check, Toggle };

// One row of a window's table. group is the label of the group that holds the widget ("" for
// an unlabelled group or the window itself).
struct tExpectedWidget {
    const char* group;
    const char* label;
    tKind kind;
    int x, y, w, h;
    double minimum = 0.0, maximum = 0.0, step = 0.0;
    std::vector<std::string> entries = {};
    double initial = 0.0;
};

inline std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

inline void Collect(Fl_Group* group, std::vector<Fl_Widget*>& out) {
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* child = group->child(i);
        out.push_back(child);
        if (Fl_Group* inner = child->as_group()) Collect(inner, out);
    }
}

inline std::vector<Fl_Widget*> AllWidgets(Fl_Group& window) {
    std::vector<Fl_Widget*> widgets;
    Collect(&window, widgets);
    return widgets;
}

inline std::string GroupOf(const Fl_Widget* widget, const Fl_Group& window) {
    const Fl_Group* parent = widget->parent();
    return parent == &window ? std::string() : Text(parent->label());
}

// The widgets that hold a value (the ones a table lists).
inline bool HoldsValue(Fl_Widget* widget) {
    return dynamic_cast<Fl_Valuator*>(widget) != nullptr ||
           dynamic_cast<Fl_Choice*>(widget) != nullptr ||
           dynamic_cast<Fl_Light_Button*>(widget) != nullptr ||
           (dynamic_cast<Fl_Button*>(widget) != nullptr &&
            static_cast<Fl_Button*>(widget)->type() == FL_TOGGLE_BUTTON);
}

// The widget with label in group; with several such widgets the one at (x, y).
inline Fl_Widget* Find(Fl_Group& window, const std::string& group, const std::string& label,
                       int x = -1, int y = -1) {
    Fl_Widget* found = nullptr;
    for (Fl_Widget* widget : AllWidgets(window)) {
        if (Text(widget->label()) != label || GroupOf(widget, window) != group) continue;
        if (x >= 0 && (widget->x() != x || widget->y() != y)) continue;
        if (found != nullptr && x < 0) ADD_FAILURE() << "several widgets \"" << label << "\"";
        found = widget;
    }
    return found;
}

template <class W>
W* FindAs(Fl_Group& window, const std::string& group, const std::string& label, int x = -1,
          int y = -1) {
    W* widget = dynamic_cast<W*>(Find(window, group, label, x, y));
    EXPECT_NE(widget, nullptr) << group << " / " << label;
    return widget;
}

inline bool IsKind(Fl_Widget* widget, tKind kind) {
    switch (kind) {
    case tKind::Slider: {
        auto* s = dynamic_cast<Fl_Value_Slider*>(widget);
        return s != nullptr && (s->type() & FL_HORIZONTAL) != 0;
    }
    case tKind::VerticalFill: {
        auto* s = dynamic_cast<Fl_Slider*>(widget);
        return s != nullptr && s->type() == FL_VERT_FILL_SLIDER;
    }
    case tKind::Meter: {
        auto* s = dynamic_cast<Fl_Slider*>(widget);
        return s != nullptr && s->type() == FL_HOR_FILL_SLIDER && s->output() != 0;
    }
    case tKind::Choice:
        return dynamic_cast<Fl_Choice*>(widget) != nullptr;
    case tKind::Light:
        return dynamic_cast<Fl_Light_Button*>(widget) != nullptr &&
               dynamic_cast<Fl_Check_Button*>(widget) == nullptr;
    case tKind::Check:
        return dynamic_cast<Fl_Check_Button*>(widget) != nullptr;
    case tKind::Toggle:
        return dynamic_cast<Fl_Button*>(widget) != nullptr &&
               dynamic_cast<Fl_Light_Button*>(widget) == nullptr &&
               static_cast<Fl_Button*>(widget)->type() == FL_TOGGLE_BUTTON;
    }
    return false;
}

// Every row is a widget of its kind, place, size, range, step, entries and value, and the
// window holds no value widget beyond the table.
inline void ExpectWidgets(Fl_Group& window, const std::vector<tExpectedWidget>& table) {
    for (const tExpectedWidget& expected : table) {
        SCOPED_TRACE(std::string(expected.group) + " / \"" + expected.label + "\" at " +
                     std::to_string(expected.x) + "," + std::to_string(expected.y));
        Fl_Widget* widget = Find(window, expected.group, expected.label, expected.x, expected.y);
        ASSERT_NE(widget, nullptr) << "no such widget at this place";
        EXPECT_TRUE(IsKind(widget, expected.kind));
        EXPECT_EQ(widget->w(), expected.w);
        EXPECT_EQ(widget->h(), expected.h);
        if (auto* valuator = dynamic_cast<Fl_Valuator*>(widget)) {
            EXPECT_DOUBLE_EQ(valuator->minimum(), expected.minimum);
            EXPECT_DOUBLE_EQ(valuator->maximum(), expected.maximum);
            if (expected.kind != tKind::Meter) {
                EXPECT_DOUBLE_EQ(valuator->step(), expected.step);
            }
            EXPECT_NEAR(valuator->value(), expected.initial, 1e-9);
        } else if (auto* choice = dynamic_cast<Fl_Choice*>(widget)) {
            std::vector<std::string> entries;
            for (int i = 0; i < choice->size() - 1; ++i) entries.push_back(Text(choice->text(i)));
            EXPECT_EQ(entries, expected.entries);
            EXPECT_EQ(choice->value(), static_cast<int>(expected.initial));
        } else if (auto* button = dynamic_cast<Fl_Button*>(widget)) {
            EXPECT_EQ(button->value(), static_cast<int>(expected.initial));
        }
    }
    int valueWidgets = 0;
    for (Fl_Widget* widget : AllWidgets(window))
        if (HoldsValue(widget)) ++valueWidgets;
    EXPECT_EQ(valueWidgets, static_cast<int>(table.size())) << "widgets beyond the table";
}

// The groups: label, frame and place.
struct tExpectedGroup {
    const char* label;
    int x, y, w, h;
};

inline void ExpectGroups(Fl_Group& window, const std::vector<tExpectedGroup>& groups) {
    for (const tExpectedGroup& expected : groups) {
        SCOPED_TRACE(expected.label);
        bool found = false;
        for (Fl_Widget* widget : AllWidgets(window)) {
            Fl_Group* group = widget->as_group();
            if (group == nullptr || Text(group->label()) != expected.label ||
                group->x() != expected.x || group->y() != expected.y)
                continue;
            found = true;
            EXPECT_EQ(group->w(), expected.w);
            EXPECT_EQ(group->h(), expected.h);
            EXPECT_NE(group->box(), FL_NO_BOX) << "unframed";
        }
        EXPECT_TRUE(found);
    }
}

// The menu bar's items as "menu/item" paths.
inline std::vector<std::string> MenuPaths(Fl_Group& window) {
    std::vector<std::string> paths;
    for (Fl_Widget* widget : AllWidgets(window)) {
        auto* bar = dynamic_cast<Fl_Menu_Bar*>(widget);
        if (bar == nullptr) continue;
        std::string menu;
        for (const Fl_Menu_Item* item = bar->menu(); item != nullptr && item->text != nullptr;
             item = item + 1) {
            if (item->submenu()) {
                menu = item->text;
                continue;
            }
            paths.push_back(menu + "/" + item->text);
            if ((item + 1)->text == nullptr) ++item; // end of a submenu
        }
    }
    return paths;
}

// Runs a menu item by its path.
inline void PickMenu(Fl_Group& window, const std::string& path) {
    for (Fl_Widget* widget : AllWidgets(window)) {
        auto* bar = dynamic_cast<Fl_Menu_Bar*>(widget);
        if (bar == nullptr) continue;
        const Fl_Menu_Item* item = bar->find_item(path.c_str());
        ASSERT_NE(item, nullptr) << path;
        bar->picked(item);
        return;
    }
    FAIL() << "no menu bar";
}

// Sets a widget's value as the user does and runs its callback.
inline void Move(Fl_Widget* widget, double value) {
    ASSERT_NE(widget, nullptr);
    if (auto* valuator = dynamic_cast<Fl_Valuator*>(widget))
        valuator->value(value);
    else if (auto* choice = dynamic_cast<Fl_Choice*>(widget))
        choice->value(static_cast<int>(value));
    else if (auto* button = dynamic_cast<Fl_Button*>(widget))
        button->value(static_cast<int>(value));
    widget->do_callback();
}

inline double ValueOf(Fl_Widget* widget) {
    if (auto* valuator = dynamic_cast<Fl_Valuator*>(widget)) return valuator->value();
    if (auto* choice = dynamic_cast<Fl_Choice*>(widget)) return choice->value();
    if (auto* button = dynamic_cast<Fl_Button*>(widget)) return button->value();
    return -1.0;
}

// Every bound widget shows its control's value.
inline void ExpectWidgetsShowControls(tModuleEditor& editor) {
    int checked = 0;
    for (Fl_Widget* widget : AllWidgets(editor.Window())) {
        const tControl* control = editor.Binding().ControlOf(widget);
        if (control == nullptr) continue;
        ++checked;
        if (auto* choice = dynamic_cast<Fl_Choice*>(widget))
            EXPECT_EQ(choice->value(), control->Index()) << Text(widget->label());
        else if (auto* button = dynamic_cast<Fl_Button*>(widget))
            EXPECT_EQ(button->value(), control->IsOn() ? 1 : 0) << Text(widget->label());
        else
            EXPECT_DOUBLE_EQ(ValueOf(widget), control->Value()) << Text(widget->label());
    }
    EXPECT_GT(checked, 0);
}

// The rack, configuration and dialog hooks around an editor; the test's scratch folder.
struct tEditorContext {
    tRack rack;
    tConfig config;
    int redraws = 0;
    tModuleContext context{rack, config, [this] { ++redraws; }};
    std::vector<std::string> alerts;
    std::vector<std::string> confirmations;
    bool confirm = true;
    struct tChosen {
        std::string title, pattern, directory;
        bool save;
    };
    std::vector<tChosen> chooserCalls;
    std::string chooserAnswer;
    std::filesystem::path dir;

    tEditorContext() {
        dir = std::filesystem::temp_directory_path() /
              ("kelvora_editor_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        config.SetPatchPath(dir.string());
    }
    ~tEditorContext() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void Hook(tModuleEditor& editor) {
        editor.hooks.alert = [this](const std::string& m) { alerts.push_back(m); };
        editor.hooks.confirmOverwrite = [this](const std::string& p) {
            confirmations.push_back(p);
            return confirm;
        };
        editor.hooks.choose = [this](const char* title, const char* pattern,
                                     const std::string& directory, bool save) {
            chooserCalls.push_back({title, pattern, directory, save});
            return chooserAnswer;
        };
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    std::string token;
    while (in >> token) tokens.push_back(token);
    return tokens;
}

// Positions at which two patch texts differ, token by token.
inline std::vector<std::size_t> DifferingTokens(const std::string& a, const std::string& b) {
    const std::vector<std::string> x = Tokens(a), y = Tokens(b);
    std::vector<std::size_t> differ;
    for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i)
        if (i >= x.size() || i >= y.size() || x[i] != y[i]) differ.push_back(i);
    return differ;
}

// A fresh instrument with its window plays key from the same noise for blocks of 128 frames;
// before block 2 the widget group/label (if any) is moved to value, at noteBlock a second note
// starts.
template <class tModule, class tWindow>
std::vector<double> Play(const tModuleContext& context, const char* group, const char* label,
                         double value, int noteBlock, int blocks = 8) {
    tModule module(0, 0);
    tWindow window(module, context);
    threadRandom.seed(1);
    module.SwitchOn();
    module.NoteOn(69, 100);
    std::vector<double> out;
    for (int block = 0; block < blocks; ++block) {
        if (block == 2 && label != nullptr) Move(Find(window.Window(), group, label), value);
        if (block == noteBlock) module.NoteOn(72, 100);
        module.Render(128);
        out.insert(out.end(), module.Output(), module.Output() + 128);
    }
    return out;
}

// The first block in which two renderings differ, or -1.
inline int FirstDifferingBlock(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<int>(i / 128);
    return -1;
}

} // namespace editortest
