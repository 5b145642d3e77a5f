#include "EditorTestSupport.h"
#include "GuiTestSupport.h"

#include "catalog/ModuleFactory.h"
#include "gui/AboutWindow.h"
#include "gui/ConfigWindow.h"
#include "gui/KeyboardWindow.h"
#include "gui/MappingWindow.h"
#include "gui/MessageBox.h"
#include "gui/ModuleEditor.h"
#include "gui/RackView.h"
#include "gui/Scale.h"

#include <FL/Fl_Text_Display.H>

#include <cmath>
#include <functional>

namespace {

struct tShape {
    std::string name;
    int x, y, w, h, labelSize;
};

// Each widget's box and, for a labelled one, its label size. A text display places its own
// scroll bars when it is drawn: its parts are not listed.
void Shapes(Fl_Widget& widget, std::vector<tShape>& out, bool top) {
    const std::string label = editortest::Text(widget.label());
    out.push_back({label, top ? 0 : widget.x(), top ? 0 : widget.y(), widget.w(), widget.h(),
                   label.empty() ? 0 : widget.labelsize()});
    if (dynamic_cast<Fl_Text_Display*>(&widget) != nullptr) return;
    if (Fl_Group* group = widget.as_group())
        for (int i = 0; i < group->children(); ++i) Shapes(*group->child(i), out, false);
}

// Every widget's box (and label size) with the window built at 1.5 is the box at 1 times 1.5,
// within a pixel.
void ExpectScaled(const std::function<Fl_Window&()>& build, const char* what) {
    SCOPED_TRACE(what);
    std::vector<tShape> one, scaled;
    tUiScale::SetFactor(1.0);
    Shapes(build(), one, true);
    tUiScale::SetFactor(1.5);
    Shapes(build(), scaled, true);
    tUiScale::SetFactor(1.0);
    ASSERT_EQ(one.size(), scaled.size());
    ASSERT_GT(one.size(), 1u);
    for (std::size_t i = 0; i < one.size(); ++i) {
        SCOPED_TRACE(one[i].name);
        EXPECT_NEAR(scaled[i].x, one[i].x * 1.5, 1.0);
        EXPECT_NEAR(scaled[i].y, one[i].y * 1.5, 1.0);
        EXPECT_NEAR(scaled[i].w, one[i].w * 1.5, 1.0);
        EXPECT_NEAR(scaled[i].h, one[i].h * 1.5, 1.0);
        EXPECT_NEAR(scaled[i].labelSize, one[i].labelSize * 1.5, 1.0);
    }
}

class WindowScaleTest : public guitest::MainWindowTest {};

} // namespace

TEST_F(WindowScaleTest, EveryWindowAndItsWidgetsScaleWithTheFactor) {
    std::unique_ptr<tMainWindow> main;
    ExpectScaled(
        [&]() -> Fl_Window& {
            main.reset();
            tSlot::ResetIdCounter();
            rack.Clear();
            main = std::make_unique<tMainWindow>(
                tProgramParts{rack, master, config, counters, callback}, MakeEditorWindow);
            main->Choose("Presets/Clarinet"); // icons placed after the window was scaled
            return *main->Widgets().window;
        },
        "main window");
    main.reset();
    rack.Clear();
    // Each editor kind with a module of its own.
    for (int type : {kStringModule, kFluteModule, kEffectsModule}) {
        std::unique_ptr<tSlot> slot;
        std::unique_ptr<tEditorWindow> editor;
        tModuleContext context{rack, config, {}};
        ExpectScaled(
            [&]() -> Fl_Window& {
                editor.reset();
                slot = CreateModule(type, 0, 0);
                editor = MakeEditorWindow(*slot, context);
                return static_cast<tModuleEditor&>(*editor).Window();
            },
            slot ? slot->Title().c_str() : "editor");
        editor.reset();
    }
    std::unique_ptr<tConfigWindow> configuration;
    const tDialogs none;
    ExpectScaled(
        [&]() -> Fl_Window& {
            configuration = std::make_unique<tConfigWindow>(config, none);
            return *configuration->Widgets().window;
        },
        "configuration");
    std::unique_ptr<tAboutWindow> about;
    ExpectScaled(
        [&]() -> Fl_Window& {
            about = std::make_unique<tAboutWindow>();
            return *about->Window();
        },
        "about");
    std::unique_ptr<tKeyboardWindow> keyboard;
    ExpectScaled(
        [&]() -> Fl_Window& {
            keyboard = std::make_unique<tKeyboardWindow>(rack);
            return keyboard->Window();
        },
        "keyboard");
    std::unique_ptr<tMappingWindow> mapping;
    ExpectScaled(
        [&]() -> Fl_Window& {
            mapping = std::make_unique<tMappingWindow>("m", 424, 347, StringMappingText());
            return mapping->Window();
        },
        "mapping");
    std::unique_ptr<tMessageBox> box;
    ExpectScaled(
        [&]() -> Fl_Window& {
            box = std::make_unique<tMessageBox>("t", "A question\nof two lines?",
                                                std::vector<std::string>{"Yes", "No"}, 0, 1,
                                                tMessageBox::kQuestion);
            return box->Window();
        },
        "message box");
}

TEST(UiScale, TheFactorComesFromKelvoraScaleAsFactorOrPercentElseFromTheRcFile) {
    EXPECT_DOUBLE_EQ(tUiScale::ParseFactor("2"), 2.0);
    EXPECT_DOUBLE_EQ(tUiScale::ParseFactor("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(tUiScale::ParseFactor("150"), 1.5);
    EXPECT_DOUBLE_EQ(tUiScale::ParseFactor("200%"), 2.0);
    for (const char* bad : {"", "big", "0.5", "12x", "1000", "nan"})
        EXPECT_EQ(tUiScale::ParseFactor(bad), 0.0) << bad;
    setenv("KELVORA_SCALE", "2", 1);
    EXPECT_DOUBLE_EQ(tUiScale::StartFactor(150), 2.0);
    setenv("KELVORA_SCALE", "huge", 1);
    EXPECT_DOUBLE_EQ(tUiScale::StartFactor(150), 1.5);
    unsetenv("KELVORA_SCALE");
    EXPECT_DOUBLE_EQ(tUiScale::StartFactor(100), 1.0);
}

TEST(MappingWindows, TheMouseWheelScrollsDownToTheLastRow) {
    for (const auto& made : {StringMappingWindow(), FluteMappingWindow()}) {
        tMappingWindow& mapping = *made;
        mapping.Show();
        Fl::check();
        EXPECT_FALSE(mapping.LastLineShown()) << mapping.Window().label();
        Fl_Text_Display& output = mapping.Output();
        for (int turn = 0; turn < 20 && !mapping.LastLineShown(); ++turn) {
            Fl::e_x = output.x() + output.w() / 2;
            Fl::e_y = output.y() + output.h() / 2;
            Fl::e_dx = 0;
            Fl::e_dy = 1;
            Fl::belowmouse(&output); // the pointer rests on the field
            Fl::handle(FL_MOUSEWHEEL, &mapping.Window());
            Fl::check();
        }
        EXPECT_TRUE(mapping.LastLineShown()) << mapping.Window().label();
        mapping.Hide();
    }
}

TEST(EditorTooltips, EveryControlSaysWhatItDoesAndWhichControllerTheModuleAnswersTo) {
    tRack rack;
    tConfig config;
    tModuleContext context{rack, config, {}};
    const struct {
        int type;
        const char* group;
        const char* label;
        const char* controller;
    } expected[] = {
        {kStringModule, "Energy dissipation", "frequency", "MIDI controller 11 moves it."},
        {kStringModule, "Output and note control", "LFO ampl.", "MIDI controller 1 moves it."},
        {kStringModule, "Output and note control", "release", "No MIDI controller moves it."},
        {kFluteModule, "Pressure - tremolo", "pressure", "MIDI controllers 2 and 19 move it."},
        {kEffectsModule, "Delay", "time [ms]", "No MIDI controller moves it."},
    };
    for (const auto& row : expected) {
        std::unique_ptr<tSlot> slot = CreateModule(row.type, 0, 0);
        std::unique_ptr<tEditorWindow> editor = MakeEditorWindow(*slot, context);
        Fl_Group& window = static_cast<tModuleEditor&>(*editor).Window();
        Fl_Widget* widget = editortest::Find(window, row.group, row.label);
        ASSERT_NE(widget, nullptr) << row.label;
        const std::string tip = editortest::Text(widget->tooltip());
        EXPECT_NE(tip.find(row.controller), std::string::npos) << row.label << ": " << tip;
        EXPECT_GT(tip.find('\n'), 10u) << row.label << ": " << tip; // a description first
        for (Fl_Widget* any : editortest::AllWidgets(window)) {
            if (editortest::HoldsValue(any)) {
                EXPECT_NE(any->tooltip(), nullptr) << editortest::Text(any->label());
            }
        }
    }
}

TEST(EditorKeys, EscapeClosesAnEditor) {
    tRack rack;
    tConfig config;
    tModuleContext context{rack, config, {}};
    std::unique_ptr<tSlot> slot = CreateModule(kFluteModule, 0, 0);
    std::unique_ptr<tEditorWindow> editor = MakeEditorWindow(*slot, context);
    editor->Open();
    Fl::check();
    ASSERT_TRUE(editor->IsOpen());
    Fl::e_keysym = FL_Escape;
    Fl::e_state = 0;
    Fl::handle(FL_KEYBOARD, &static_cast<tModuleEditor&>(*editor).Window());
    EXPECT_FALSE(editor->IsOpen());
}
