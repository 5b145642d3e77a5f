#include "EditorTestSupport.h"

#include "flute/FluteSynth.h"
#include "gui/FluteWindow.h"
#include "gui/MappingWindow.h"

#include <FL/Fl.H>
#include <FL/Fl_Toggle_Button.H>

#include <memory>

using namespace editortest;

namespace {

std::vector<tExpectedWidget> FluteTable() {
    using K = tKind;
    std::vector<std::string> channels;
    for (int n = 1; n <= 16; ++n) channels.push_back(std::to_string(n));
    const char* o = "Oscillator settings";
    const char* b = "Breath";
    const char* p = "Pressure - tremolo";
    const char* c = "Output control";
    const char* f = "Output filter";
    return {
        {o, "frequency", K::Slider, 10, 55, 115, 20, 0.05, 1, 0.001, {}, 0.795},
        {o, "freq max", K::Slider, 10, 80, 115, 20, 0.1, 1, 0.001, {}, 0.95},
        {o, "filter follows note", K::Choice, 130, 105, 50, 20, 0, 0, 0, {"no", "yes"}, 0},
        {o, "feed bore", K::Slider, 10, 130, 115, 20, 0, 1, 0.01, {}, 0.59},
        {o, "embro. size", K::Slider, 10, 155, 115, 20, 0.01, 0.7, 0.01, {}, 0.5},
        {o, "feed emb", K::Slider, 10, 180, 115, 20, 0, 1, 0.01, {}, 0.48},
        {o, "scale x100", K::Check, 10, 205, 100, 20, 0, 0, 0, {}, 0},
        {o, "type", K::Choice, 130, 230, 65, 20, 0, 0, 0, {"clarinet", "flute"}, 1},
        {o, "filter order", K::Choice, 130, 255, 40, 20, 0, 0, 0, {"1", "2"}, 0},
        {o, "bore scale", K::Slider, 10, 280, 115, 20, 1, 10, 1, {}, 1},
        {b, "frequency", K::Slider, 210, 55, 115, 20, 0, 1, 0.001, {}, 0.16},
        {b, "amplitude", K::Slider, 210, 80, 115, 20, 0, 1, 0.001, {}, 0.16},
        {b, "attack", K::Slider, 210, 105, 115, 20, 0, 20, 1, {}, 11},
        {b,
         "filter follows note",
         K::Choice,
         330,
         130,
         50,
         20,
         0,
         0,
         0,
         {"no", "yes", "cool", "usr1", "usr2"},
         1},
        {b, "amplitude", K::Slider, 210, 155, 115, 20, 0.1, 1, 0.01, {}, 0.5},
        {p, "pressure", K::Slider, 210, 220, 115, 20, 0, 1, 0.001, {}, 0.41},
        {p, "tremolo freq", K::Slider, 210, 245, 115, 20, 0.5, 5, 0.01, {}, 1.23},
        {p, "amplitude", K::Slider, 210, 270, 115, 20, 0, 1, 0.01, {}, 0.23},
        {p, "attack", K::Slider, 210, 295, 115, 20, 0, 20, 1, {}, 0},
        {c, "volume", K::Slider, 410, 55, 115, 20, 0, 5, 0.01, {}, 1.7},
        {c, "mute", K::Check, 410, 80, 100, 20, 0, 0, 0, {}, 1},
        {f, "frequency", K::Slider, 410, 140, 115, 20, 0.5, 10, 0.01, {}, 2.38},
        {f, "resonance", K::Slider, 410, 165, 115, 20, 0, 1, 0.01, {}, 0.14},
        {f, "filter follows note", K::Choice, 530, 190, 55, 20, 0, 0, 0, {"no", "lin", "usr"}, 1},
        {f,
         "",
         K::Choice,
         410,
         215,
         80,
         20,
         0,
         0,
         0,
         {"critical", "bessel", "butterw", "tscheby", "tscheb3"},
         1},
        {f, "", K::Choice, 500, 215, 80, 20, 0, 0, 0, {"  off", "  12 dB"}, 0},
        {"", "midi channel", K::Choice, 385, 5, 45, 20, 0, 0, 0, channels, 0},
        {"", "midi controller", K::Toggle, 440, 5, 110, 20, 0, 0, 0, {}, 1},
    };
}

struct FluteWindowTest : ::testing::Test {
    tEditorContext env;
    tFluteSynth* module = new tFluteSynth(50, 150);
    std::unique_ptr<tFluteWindow> editor;

    FluteWindowTest() {
        env.rack.Insert(module);
        editor = std::make_unique<tFluteWindow>(*module, env.context);
        env.Hook(*editor);
    }
    Fl_Double_Window& Window() { return editor->Window(); }
    Fl_Widget* Widget(const char* group, const char* label, int x = -1, int y = -1) {
        return Find(Window(), group, label, x, y);
    }
    bool Sounding() { return module->Voice(0).isSounding() || module->Voice(1).isSounding(); }
    std::vector<double> WidgetValues() {
        std::vector<double> values;
        for (Fl_Widget* widget : AllWidgets(Window()))
            if (HoldsValue(widget)) values.push_back(ValueOf(widget));
        return values;
    }
};

TEST_F(FluteWindowTest, WindowGroupsWidgetsAndMenusAreThoseOfTheTable) {
    EXPECT_EQ(Window().w(), 600);
    EXPECT_EQ(Window().h(), 335);
    EXPECT_STREQ(Window().label(), "KV Flute Synthesizer");
    EXPECT_STREQ(Window().xclass(), "kvFlute");
    ExpectWidgets(Window(), FluteTable());
    ExpectGroups(Window(), {{"Oscillator settings", 5, 45, 195, 280},
                            {"Breath", 205, 45, 195, 145},
                            {"Pressure - tremolo", 205, 210, 195, 115},
                            {"Output control", 405, 45, 190, 65},
                            {"Output filter", 405, 130, 190, 120}});
    EXPECT_EQ(MenuPaths(Window()),
              (std::vector<std::string>{"File            /Load settings\xE2\x80\xA6",
                                        "File            /Save settings\xE2\x80\xA6",
                                        "File            /Close",
                                        "Help              /Midi Controller Mapping"}));
    for (const char* label :
         {"@>", "@||", "Stop Sound", "mono voice", "KV Flute Synthesizer  v1.2"})
        EXPECT_NE(Find(Window(), "", label), nullptr) << label;
}

TEST_F(FluteWindowTest, SlidersReachTheSoundingNoteOnlyWhereTheyShould) {
    auto play = [this](const char* group, const char* label, double value) {
        return Play<tFluteSynth, tFluteWindow>(env.context, group, label, value, 5);
    };
    play(nullptr, nullptr, 0);
    const auto reference = play(nullptr, nullptr, 0);
    ASSERT_EQ(FirstDifferingBlock(reference, play(nullptr, nullptr, 0)), -1);
    // Re-applied every block.
    EXPECT_EQ(FirstDifferingBlock(reference, play("Output control", "volume", 4.0)), 2);
    EXPECT_EQ(FirstDifferingBlock(reference, play("Oscillator settings", "embro. size", 0.2)), 2);
    // Taken at the next note (block 5), heard once it speaks.
    const int bore = FirstDifferingBlock(reference, play("Oscillator settings", "bore scale", 4));
    EXPECT_GE(bore, 5);
    const int type = FirstDifferingBlock(reference, play("Oscillator settings", "type", 0));
    EXPECT_GE(type, 5);
}

TEST_F(FluteWindowTest, ControllersMoveWidgetsOnlyWhileMidiControllerIsOn) {
    auto* embro = Widget("Oscillator settings", "embro. size");
    auto* type = Widget("Output filter", "", 410, 215);
    env.rack.Controller(3, 12, 100); // another channel
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_DOUBLE_EQ(ValueOf(embro), 0.5);

    env.rack.Controller(0, 12, 100);
    env.rack.Controller(0, 24, 127);
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_NEAR(ValueOf(embro), 0.01 + 100 * 0.005433070866141732, 1e-12);
    EXPECT_EQ(ValueOf(type), 4);
    // Pitch bend scales the jet without moving the widget.
    env.rack.Controller(0, -1, 0);
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_NEAR(ValueOf(embro), 0.01 + 100 * 0.005433070866141732, 1e-12);
    EXPECT_NE(module->BendFactor(), 1.0);

    Move(Widget("", "midi controller"), 0);
    EXPECT_FALSE(module->Controls().midiController.IsOn());
    const std::vector<double> before = WidgetValues();
    for (int number = 1; number <= 24; ++number) env.rack.Controller(0, number, 37);
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_EQ(WidgetValues(), before);
}

TEST_F(FluteWindowTest, MidiChannelTransportAndStopSoundReachTheModule) {
    Move(Find(Window(), "", "@>"), 0);
    EXPECT_TRUE(module->IsOn());
    EXPECT_EQ(ValueOf(Find(Window(), "", "@>")), 1);
    env.rack.NoteOn(0, 60, 100);
    env.rack.Render(128);
    ASSERT_TRUE(Sounding());
    const int redraws = env.redraws;
    Move(Widget("", "midi channel"), 2);
    EXPECT_EQ(module->GetChannel(), 2);
    EXPECT_FALSE(Sounding());
    EXPECT_EQ(env.redraws, redraws + 1);

    env.rack.NoteOn(2, 60, 100);
    env.rack.Render(128);
    ASSERT_TRUE(Sounding());
    Move(Find(Window(), "", "Stop Sound"), 0);
    EXPECT_FALSE(Sounding());
    EXPECT_TRUE(module->IsOn());

    module->SwitchOff(); // the icon's light
    tGuiTimer::RefreshAll();
    EXPECT_EQ(ValueOf(Find(Window(), "", "@>")), 0);
    module->SwitchOn();
    tGuiTimer::RefreshAll();
    EXPECT_EQ(ValueOf(Find(Window(), "", "@>")), 1);
    Move(Find(Window(), "", "@||"), 0);
    EXPECT_FALSE(module->IsOn());
}

TEST_F(FluteWindowTest, LoadingAPatchShowsEveryValueAndSavingWritesExactlyTheEdit) {
    tFluteSynth source(0, 0);
    tFluteControls& c = source.Controls();
    c.oscillator.type.Set(0);
    c.oscillator.boreScale.Set(7);
    c.oscillator.scale100.Set(1);
    c.breath.followNote.Set(4);
    c.pressure.tremoloFreq.Set(3.5);
    c.outputControl.mute.Set(0);
    c.outputFilter.onOff.Set(1);
    ASSERT_TRUE(source.SavePatchFile(env.Path("reed.flt")));

    EXPECT_TRUE(editor->LoadPatchPath(env.Path("reed.flt")));
    EXPECT_STREQ(Window().label(), "KV Flute Synthesizer   (reed)");
    EXPECT_EQ(module->Caption(), "reed");
    ExpectWidgetsShowControls(*editor);
    EXPECT_EQ(ValueOf(Widget("Oscillator settings", "type")), 0);
    EXPECT_DOUBLE_EQ(ValueOf(Widget("Pressure - tremolo", "tremolo freq")), 3.5);
    EXPECT_EQ(ValueOf(Widget("Output control", "mute")), 0);

    ASSERT_TRUE(editor->SavePatchPath(env.Path("same")));
    const std::string same = ReadFile(env.Path("same.flt"));
    Move(Widget("Breath", "attack"), 17);
    env.chooserAnswer = env.Path("edited.txt");
    PickMenu(Window(), "File            /Save settings\xE2\x80\xA6");
    EXPECT_EQ(env.chooserCalls.back().pattern, "*.flt");
    const std::string edited = ReadFile(env.Path("edited.flt"));
    EXPECT_STREQ(Window().label(), "KV Flute Synthesizer   (edited)");
    const auto differ = DifferingTokens(same, edited);
    ASSERT_EQ(differ.size(), 1u);
    EXPECT_EQ(Tokens(edited)[differ[0]], "17");
}

TEST(FluteMappingWindowTest, OneWindowForAllFluteModulesWithTheTextByteForByte) {
    const std::string expected = "\n"
                                 " Midi-Ctrl Number          Flute Synth-function\n"
                                 " ========================================================\n"
                                 "     11                Oszillator:    frequency\n"
                                 "   Pitch bender        Oszillator:    embro size\n"
                                 "     12                Oszillator:    embro size\n"
                                 "     13                Oszillator:    bore scale\n"
                                 "     14                Oszillator:    feed emb\n"
                                 "     15                Oszillator:    feed bore\n"
                                 "     16                Breath:        amplitude\n"
                                 "     17                Breath:        attack\n"
                                 "     18                Breath:        attack amp\n"
                                 "   2 and 19            Pressure:      pressure\n"
                                 "     20                Pressure:      attack\n"
                                 "     21                Pressure:      tremolo freq\n"
                                 "      1                Pressure:      amplitude\n"
                                 "     22                Output Filter: frequency\n"
                                 "     23                Output Filter: resonance\n"
                                 "     24                Output Filter: type";
    tEditorContext env;
    tFluteSynth a(0, 0), b(0, 0);
    tFluteWindow first(a, env.context), second(b, env.context);
    ASSERT_EQ(&first.Mapping(), &second.Mapping());
    tMappingWindow& mapping = first.Mapping();
    EXPECT_EQ(std::string(mapping.Text()), expected);
    EXPECT_STREQ(mapping.Window().label(), "Flute Synth Midi Controller Mapping");
    EXPECT_EQ(mapping.Window().w(), 424);
    EXPECT_EQ(mapping.Window().h(), 297);
    auto* output = Find(mapping.Window(), "", "output:");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->w(), 415);
    EXPECT_EQ(output->h(), 245);
    EXPECT_NE(Find(mapping.Window(), "", "Midi controller mapping"), nullptr);
    PickMenu(first.Window(), "Help              /Midi Controller Mapping");
    Fl::check();
    EXPECT_TRUE(mapping.IsShown());
    Find(mapping.Window(), "", "Dismiss")->do_callback();
    EXPECT_FALSE(mapping.IsShown());
}

} // namespace
