#include "EditorTestSupport.h"

#include "effects/EffectsModule.h"
#include "gui/EffectsWindow.h"

#include <cmath>
#include <memory>

using namespace editortest;

namespace {

std::vector<tExpectedWidget> EffectsTable() {
    using K = tKind;
    const char* u = "Universal filter";
    const char* d = "Distortion";
    const char* p = "PM resonator";
    const char* c = "Chorus";
    const char* r = "Reverb";
    const char* y = "Delay";
    const char* s = "Resonator";
    std::vector<tExpectedWidget> table = {
        {u, "frequency", K::Slider, 205, 55, 115, 20, 0.05, 1, 0.001, {}, 0.78},
        {u, "resonance", K::Slider, 205, 80, 115, 20, 0, 1, 0, {}, 0.11},
        {u, "volume", K::Slider, 205, 225, 115, 20, 0, 3, 0, {}, 1.5},
        {u,
         "type",
         K::Choice,
         275,
         125,
         75,
         20,
         0,
         0,
         0,
         {"critical", "bessel", "butterw", "tscheby", "tscheb3"},
         0},
        {u,
         "mode",
         K::Choice,
         275,
         105,
         90,
         20,
         0,
         0,
         0,
         {"low pass", "high pass", "band pass"},
         0},
        {u, "order", K::Choice, 275, 145, 65, 20, 0, 0, 0, {"6 dB", "12 dB", "18 dB", "24 dB"}, 0},
        {u, "on", K::Light, 330, 255, 15, 10, 0, 0, 0, {}, 0},
        {u, " mod freq.", K::Slider, 205, 170, 115, 20, 0.05, 1, 0.001, {}, 0.78},
        {u, " mod depth", K::Slider, 205, 195, 115, 20, 0, 3, 0, {}, 0.11},
        {d, "level", K::Slider, 790, 210, 115, 20, 0, 3, 0, {}, 0},
        {d, "volume", K::Slider, 790, 235, 115, 20, 0, 3, 0, {}, 1.5},
        {d, "on", K::Light, 915, 260, 15, 10, 0, 0, 0, {}, 0},
        {d, "soft mode", K::Light, 810, 260, 15, 10, 0, 0, 0, {}, 0},
        {p, "feed", K::Slider, 400, 70, 115, 20, 0, 1, 0.001, {}, 0.6},
        {p, "feedfreq", K::Slider, 400, 95, 115, 20, 0, 1, 0.001, {}, 0.44},
        {p, "intensity", K::Slider, 400, 120, 115, 20, 0, 1, 0.001, {}, 0.57},
        {p, "efx vol.", K::Slider, 400, 145, 115, 20, 0, 1, 0, {}, 0.9},
        {p, "reso. mode", K::Slider, 400, 170, 115, 20, 0, 1, 0.001, {}, 0.5},
        {p, "frequency", K::Slider, 400, 220, 115, 20, 0, 1, 0.001, {}, 0.25},
        {p, "scale x20", K::Light, 500, 195, 15, 10, 0, 0, 0, {}, 0},
        {p, "on", K::Light, 525, 255, 15, 10, 0, 0, 0, {}, 0},
        {p, "efx only", K::Light, 425, 255, 15, 10, 0, 0, 0, {}, 0},
        {c, "frequency", K::Slider, 10, 180, 115, 20, 0, 55, 1, {}, 18},
        {c, "volume", K::Slider, 10, 230, 115, 20, 0, 3, 0, {}, 1.5},
        {c, "on", K::Light, 135, 255, 15, 10, 0, 0, 0, {}, 0},
        {c, "width", K::Slider, 10, 205, 115, 20, 10, 1024, 1, {}, 20},
        {r, "damping", K::Slider, 790, 60, 115, 20, 0.5, 3, 0, {}, 2},
        {r, "volume", K::Slider, 790, 135, 115, 20, 0, 3, 0, {}, 1.5},
        {r, "on", K::Light, 915, 165, 15, 10, 0, 0, 0, {}, 0},
        {r,
         "type",
         K::Choice,
         825,
         160,
         75,
         20,
         0,
         0,
         0,
         {"low", "reverb4", "reverb6", "reverb8"},
         0},
        {r, "width", K::Slider, 790, 85, 115, 20, 0, 3, 0, {}, 1.5},
        {r, "room size", K::Slider, 790, 110, 115, 20, 0, 3, 0, {}, 1.5},
        {y, "time [ms]", K::Slider, 10, 55, 115, 20, 50, 1000, 1, {}, 200},
        {y, "volume", K::Slider, 10, 105, 115, 20, 0, 3, 0, {}, 1.5},
        {y, "on", K::Light, 135, 130, 15, 10, 0, 0, 0, {}, 0},
        {y, "feedback", K::Slider, 10, 80, 115, 20, 0, 3, 0, {}, 0.4},
        {y, "ping-pong", K::Light, 30, 130, 15, 10, 0, 0, 0, {}, 0},
        {s, "volume", K::Slider, 595, 215, 115, 20, 0, 3, 0, {}, 1.5},
        {s, "frequency x2", K::Light, 610, 250, 15, 10, 0, 0, 0, {}, 0},
        {s, "on", K::Light, 725, 251, 15, 10, 0, 0, 0, {}, 0},
        {s, "stereo", K::Light, 760, 63, 15, 10, 0, 0, 0, {}, 0},
        {"", "output volume", K::Slider, 730, 10, 140, 20, 0, 4, 0, {}, 1.5},
        {"", "all effects off", K::Light, 415, 15, 15, 10, 0, 0, 0, {}, 1},
        {"", "VU ", K::Meter, 600, 15, 115, 10, 0, 1, 0, {}, 0},
        {"", "", K::Light, 555, 15, 15, 10, 0, 0, 0, {}, 0},
    };
    const char* bands[] = {"45", "90", "180", "360", "720"};
    for (int k = 0; k < 5; ++k)
        table.push_back(
            {s, bands[k], K::VerticalFill, 600 + 35 * k, 80, 25, 110, 2, 0, 0, {}, 0.7});
    return table;
}

struct EffectsWindowTest : ::testing::Test {
    tEditorContext env;
    tEffectsModule* module = new tEffectsModule(160, 45);
    std::unique_ptr<tEffectsWindow> editor;

    EffectsWindowTest() {
        env.rack.Insert(module);
        editor = std::make_unique<tEffectsWindow>(*module, env.context);
        env.Hook(*editor);
    }
    Fl_Double_Window& Window() { return editor->Window(); }
    Fl_Widget* Widget(const char* group, const char* label, int x = -1, int y = -1) {
        return Find(Window(), group, label, x, y);
    }
};

TEST_F(EffectsWindowTest, WindowGroupsWidgetsAndMenusAreThoseOfTheTable) {
    EXPECT_EQ(Window().w(), 980);
    EXPECT_EQ(Window().h(), 280);
    EXPECT_STREQ(Window().label(), "KV Effects");
    EXPECT_STREQ(Window().xclass(), "kvEffects");
    ExpectWidgets(Window(), EffectsTable());
    ExpectGroups(Window(), {{"Universal filter", 200, 30, 190, 245},
                            {"Distortion", 785, 190, 190, 85},
                            {"PM resonator", 395, 45, 190, 230},
                            {"Chorus", 5, 155, 190, 120},
                            {"Reverb", 785, 40, 190, 145},
                            {"Delay", 5, 30, 190, 120},
                            {"Resonator", 590, 50, 190, 220},
                            {"", 400, 5, 570, 30}});
    for (Fl_Widget* widget : AllWidgets(Window())) {
        if (widget->as_group() != nullptr && Text(widget->label()) != "") {
            EXPECT_EQ(widget->align() & FL_ALIGN_INSIDE, FL_ALIGN_INSIDE) << widget->label();
        }
    }
    EXPECT_EQ(MenuPaths(Window()),
              (std::vector<std::string>{"File/load settings\xE2\x80\xA6",
                                        "File/save settings\xE2\x80\xA6", "File/close"}));
    // The band sliders show 2 at the top: a vertical slider's minimum is at its top.
    auto* band = FindAs<Fl_Slider>(Window(), "Resonator", "45");
    ASSERT_NE(band, nullptr);
    EXPECT_DOUBLE_EQ(band->minimum(), 2.0);
    EXPECT_EQ(band->align() & FL_ALIGN_BOTTOM, FL_ALIGN_BOTTOM);
}

TEST_F(EffectsWindowTest, TheMeterShowsTheLevelAndColourTheModuleWrites) {
    tEffectsModule fx(0, 0);
    tEffectsWindow window(fx, env.context);
    auto* meter = FindAs<Fl_Slider>(window.Window(), "", "VU ");
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->selection_color(), 222u);
    fx.SetChannels(1);
    fx.Prepare();
    Move(Find(window.Window(), "", "all effects off"), 0);
    Move(Find(window.Window(), "", "", 555, 15), 1);                       // the meter switch
    Move(Find(window.Window(), "", "output volume"), 3.0 * std::log(2.0)); // gain 1
    auto cycle = [&](double level) {
        for (int block = 0; block < tEffects::kCycleBlocks; ++block) {
            std::fill(fx.Output(), fx.Output() + 64, level);
            fx.Render(64);
        }
        tGuiTimer::RefreshAll();
    };
    cycle(0.5); // the first cycle starts with the old gain
    cycle(0.5);
    EXPECT_NEAR(meter->value(), 0.5, 1e-9);
    EXPECT_EQ(meter->selection_color(), 222u);
    cycle(0.9);
    EXPECT_NEAR(meter->value(), 0.9, 1e-9);
    EXPECT_EQ(meter->selection_color(), 174u);
    cycle(0.995);
    EXPECT_EQ(meter->selection_color(), 132u);
    cycle(0.2);
    EXPECT_EQ(meter->selection_color(), 222u);
    // Display only: the user cannot move it.
    EXPECT_NE(meter->output(), 0u);
}

TEST_F(EffectsWindowTest, AllEffectsOffDrivesAndFollowsTheSlotsLight) {
    auto* off = Widget("", "all effects off");
    EXPECT_EQ(ValueOf(off), 1);
    Move(off, 0);
    EXPECT_TRUE(module->IsOn());
    EXPECT_TRUE(module->Engine().On());
    EXPECT_EQ(env.redraws, 1);
    Move(off, 1);
    EXPECT_FALSE(module->IsOn());
    EXPECT_EQ(env.redraws, 2);
    {
        tRack::tGuard guard(env.rack);
        module->SwitchOn(); // the icon's light
    }
    tGuiTimer::RefreshAll();
    EXPECT_EQ(ValueOf(off), 0);
}

TEST_F(EffectsWindowTest, OutputVolumeReachesTheGainAtTheCycleStart) {
    tEffectsModule fx(0, 0);
    tEffectsWindow window(fx, env.context);
    fx.Prepare();
    Move(Find(window.Window(), "", "all effects off"), 0);
    for (int block = 0; block < 10; ++block) fx.Render(64);
    const double before = fx.Engine().OutputGain();
    EXPECT_NEAR(before, (std::exp(0.5) - 1.0) * 32768.0, 1e-6);
    Move(Find(window.Window(), "", "output volume"), 3.0);
    while (fx.Engine().BlockCount() != 0) {
        EXPECT_DOUBLE_EQ(fx.Engine().OutputGain(), before);
        fx.Render(64);
    }
    fx.Render(64);
    EXPECT_NEAR(fx.Engine().OutputGain(), (std::exp(1.0) - 1.0) * 32768.0, 1e-6);
}

TEST_F(EffectsWindowTest, LoadingAPatchShowsEveryValueAndSavingWritesExactlyTheEdit) {
    tEffectsModule source(0, 0);
    tEffectsControls& c = source.Engine().Controls();
    c.reverb.type.Set(2);
    c.reverb.on.Set(1);
    c.delay.time.Set(640);
    c.resonator.bands[3].Set(1.6);
    c.filter.mode.Set(2);
    c.top.outputVolume.Set(2.5);
    ASSERT_TRUE(source.SavePatchFile(env.Path("hall.efx")));

    env.chooserAnswer = env.Path("hall.efx");
    PickMenu(Window(), "File/load settings\xE2\x80\xA6");
    EXPECT_EQ(env.chooserCalls.back().pattern, "*.efx");
    EXPECT_EQ(env.chooserCalls.back().title, "Load");
    EXPECT_STREQ(Window().label(), "KV Effects   (hall)");
    EXPECT_EQ(module->Caption(), "hall");
    ExpectWidgetsShowControls(*editor);
    EXPECT_DOUBLE_EQ(ValueOf(Widget("Delay", "time [ms]")), 640);
    EXPECT_DOUBLE_EQ(ValueOf(Widget("Resonator", "360")), 1.6);
    EXPECT_EQ(ValueOf(Widget("Reverb", "type")), 2);

    ASSERT_TRUE(editor->SavePatchPath(env.Path("same")));
    const std::string same = ReadFile(env.Path("same.efx"));
    Move(Widget("Chorus", "width"), 300);
    ASSERT_TRUE(editor->SavePatchPath(env.Path("edited.efx")));
    EXPECT_STREQ(Window().label(), "KV Effects   (edited)");
    const std::string edited = ReadFile(env.Path("edited.efx"));
    const auto differ = DifferingTokens(same, edited);
    ASSERT_EQ(differ.size(), 1u);
    EXPECT_EQ(Tokens(edited)[differ[0]], "300");
}

TEST(EditorFactoryTest, EachModuleTypeGetsItsWindowAndClosingAtExitIsClean) {
    tEditorContext env;
    env.rack.Insert(new tEffectsModule(0, 0));
    std::unique_ptr<tEditorWindow> editor = MakeEditorWindow(*env.rack.Slots()[0], env.context);
    ASSERT_NE(dynamic_cast<tEffectsWindow*>(editor.get()), nullptr);
    editor->Open();
    EXPECT_TRUE(editor->IsOpen());
    // Destroyed while shown, before its slot.
    editor.reset();
    tGuiTimer::RefreshAll();
    env.rack.Clear();
}

} // namespace
