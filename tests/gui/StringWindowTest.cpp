#include "EditorTestSupport.h"

#include "gui/MappingWindow.h"
#include "gui/StringWindow.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <FL/Fl.H>

#include <cstdlib>
#include <memory>

using namespace editortest;

namespace {

const std::vector<std::string> kFollow = {"no", "yes", "cool", "usr1", "usr2"};

std::vector<std::string> Numbers(int from, int to) {
    std::vector<std::string> entries;
    for (int n = from; n <= to; ++n) entries.push_back(std::to_string(n));
    return entries;
}

std::vector<tExpectedWidget> StringTable() {
    using K = tKind;
    std::vector<std::string> voices = Numbers(2, 12);
    voices.push_back("24");
    const char* e = "Energy dissipation";
    const char* f = "Output filter";
    const char* v = "Output filter envelope";
    const char* r = "Random filter";
    const char* w = "Additional wave";
    const char* o = "Output and note control";
    return {
        {e, "frequency", K::Slider, 10, 60, 115, 20, 0.05, 1, 0.001, {}, 0.72},
        {e, "freq max", K::Slider, 10, 85, 115, 20, 0.1, 1, 0.001, {}, 0.921},
        {e, "filter order", K::Choice, 130, 110, 40, 20, 0, 0, 0, {"1", "2", "3", "4"}, 0},
        {e, "filter follows note", K::Choice, 130, 135, 55, 20, 0, 0, 0, kFollow, 2},
        {e, "feedback", K::Slider, 10, 160, 115, 20, 0.6, 1.01, 0.001, {}, 0.984},
        {e, "soft damp.", K::Slider, 10, 185, 115, 20, 0, 20, 1, {}, 20},
        {e, "filter attack", K::Slider, 10, 210, 115, 20, 0, 200, 1, {}, 3},
        {e, " fixed time", K::Light, 105, 230, 15, 10, 0, 0, 0, {}, 1},
        {e, "start freq", K::Slider, 10, 245, 115, 20, 0, 1, 0.001, {}, 0.369},
        {e, "off delay", K::Slider, 10, 275, 115, 20, 0, 100, 1, {}, 26},
        {e, "off-feedb.", K::Slider, 10, 300, 115, 20, 0.97, 1, 0.0001, {}, 0.9969},
        {f, "frequency", K::Slider, 210, 60, 115, 20, 0.5, 10, 0, {}, 6.4},
        {f, "resonance", K::Slider, 210, 85, 115, 20, 0, 1, 0, {}, 0},
        {f,
         "",
         K::Choice,
         225,
         110,
         75,
         20,
         0,
         0,
         0,
         {"critical", "bessel", "butterw", "tscheby", "tscheb3"},
         0},
        {f,
         "",
         K::Choice,
         305,
         110,
         75,
         20,
         0,
         0,
         0,
         {"  off", "   6 dB", "  12 dB", "+12 dB", "  18 dB", "+18 dB", "  24 dB", "+24 dB"},
         0},
        {f, "filter follows note", K::Choice, 325, 135, 50, 20, 0, 0, 0, {"no", "lin", "usr"}, 0},
        {v, "env ampl.", K::Slider, 210, 225, 115, 20, 0, 5, 0, {}, 0},
        {v, "env speed", K::Slider, 210, 250, 115, 20, 0, 1, 0.001, {}, 0.4},
        {v, "env sustain", K::Slider, 210, 275, 115, 20, 0, 1, 0.001, {}, 0.2},
        {v, "env release", K::Slider, 210, 300, 115, 20, 0, 1, 0.001, {}, 0.2},
        {v,
         "env mode",
         K::Choice,
         300,
         195,
         80,
         20,
         0,
         0,
         0,
         {"off", "normal", "accent", "acc.inv", "ampl.", "a. inv", "speed", "s. inv"},
         0},
        {r, "frequency", K::Slider, 10, 355, 115, 20, 0.05, 1, 0.001, {}, 0.445},
        {r, "follows", K::Choice, 60, 380, 55, 20, 0, 0, 0, kFollow, 2},
        {r, "pink", K::Light, 140, 385, 15, 10, 0, 0, 0, {}, 0},
        {w, "Wave ampl.", K::Slider, 210, 355, 115, 20, 0, 1, 0, {}, 0.52},
        {w,
         "Wave type",
         K::Choice,
         320,
         380,
         70,
         20,
         0,
         0,
         0,
         {"none", "sin", "rect", "saw", "tri", "crect", "csaw", "ctri", "piano", "piano2", "metal",
          "sawres"},
         1},
        {o, "volume", K::Slider, 410, 60, 115, 20, 0, 5, 0, {}, 3.87},
        {o, "mute", K::Light, 510, 90, 15, 10, 0, 0, 0, {}, 1},
        {o, "attack", K::Slider, 410, 110, 115, 20, 0, 100, 1, {}, 4},
        {o, "release", K::Slider, 410, 135, 115, 20, 0, 1, 0.001, {}, 0},
        {o, "silence", K::Slider, 410, 160, 115, 20, 0, 10, 1, {}, 0},
        {o, "LFO freq.", K::Slider, 410, 185, 115, 20, 0.2, 5, 0, {}, 0.5},
        {o, "LFO ampl.", K::Slider, 410, 210, 115, 20, 0, 1, 0, {}, 0},
        {o, "dc-filter", K::Light, 420, 245, 15, 10, 0, 0, 0, {}, 0},
        {o, "ampl-env", K::Light, 505, 245, 15, 10, 0, 0, 0, {}, 0},
        {o, "modulation", K::Light, 420, 270, 15, 10, 0, 0, 0, {}, 0},
        {o, "bass boost", K::Light, 505, 270, 15, 10, 0, 0, 0, {}, 0},
        {o, "lin velocity", K::Light, 420, 294, 15, 10, 0, 0, 0, {}, 0},
        {o, "auto pan", K::Light, 505, 294, 15, 10, 0, 0, 0, {}, 0},
        {"", "# of voices", K::Choice, 287, 5, 45, 20, 0, 0, 0, voices, 6},
        {"", "midi controller", K::Light, 433, 10, 15, 10, 0, 0, 0, {}, 0},
        {"", "midi channel", K::Choice, 538, 5, 45, 20, 0, 0, 0, Numbers(1, 16), 0},
    };
}

// A string module in the rack with its window.
struct StringWindowTest : ::testing::Test {
    tEditorContext env;
    tStringModule* module = new tStringModule(50, 45);
    std::unique_ptr<tStringWindow> editor;

    StringWindowTest() {
        env.rack.Insert(module);
        editor = std::make_unique<tStringWindow>(*module, env.context);
        env.Hook(*editor);
    }
    Fl_Double_Window& Window() { return editor->Window(); }
    Fl_Widget* Widget(const char* group, const char* label, int x = -1, int y = -1) {
        return Find(Window(), group, label, x, y);
    }
    int SoundingVoices() {
        int sounding = 0;
        for (int i = 0; i < tStringSynth::kVoiceSlots; ++i)
            if (module->Engine().Slot(i).voice->isSounding()) ++sounding;
        return sounding;
    }
};

TEST_F(StringWindowTest, WindowGroupsWidgetsAndMenusAreThoseOfTheTable) {
    EXPECT_EQ(Window().w(), 599);
    EXPECT_EQ(Window().h(), 425);
    EXPECT_STREQ(Window().label(), "KV String Synthesizer");
    EXPECT_STREQ(Window().xclass(), "kvString");
    ExpectWidgets(Window(), StringTable());
    ExpectGroups(Window(), {{"Energy dissipation", 5, 50, 195, 275},
                            {"Output filter", 205, 50, 195, 115},
                            {"Output filter envelope", 205, 185, 195, 140},
                            {"Random filter", 5, 345, 195, 65},
                            {"Additional wave", 205, 345, 195, 65},
                            {"Output and note control", 405, 50, 190, 270},
                            {"", 205, 5, 390, 20},
                            {"", 405, 330, 190, 35}});
    EXPECT_EQ(MenuPaths(Window()),
              (std::vector<std::string>{"File             /Load settings\xE2\x80\xA6",
                                        "File             /Save settings\xE2\x80\xA6",
                                        "File             /Close",
                                        "Help               /Midi Controller Mapping"}));
    struct {
        const char* label;
        int x, y, w, h;
    } const buttons[] = {{"@>", 460, 335, 25, 25},
                         {"@||", 425, 335, 25, 25},
                         {"StopSounds", 500, 340, 75, 15},
                         {"KV String Synthesizer", 400, 375, 200, 18},
                         {"Version 1.6", 400, 395, 200, 15}};
    for (const auto& b : buttons) {
        Fl_Widget* widget = nullptr;
        for (Fl_Widget* candidate : AllWidgets(Window()))
            if (Text(candidate->label()) == b.label) widget = candidate;
        ASSERT_NE(widget, nullptr) << b.label;
        EXPECT_EQ(widget->x(), b.x) << b.label;
        EXPECT_EQ(widget->y(), b.y) << b.label;
        EXPECT_EQ(widget->w(), b.w) << b.label;
        EXPECT_EQ(widget->h(), b.h) << b.label;
    }
}

TEST_F(StringWindowTest, SlidersReachTheSoundingNoteOnlyWhereTheyShould) {
    auto play = [this](const char* group, const char* label, double value) {
        return Play<tStringModule, tStringWindow>(env.context, group, label, value, 4, 6);
    };
    play(nullptr, nullptr, 0); // tables built on first use draw no noise later
    const auto reference = play(nullptr, nullptr, 0);
    ASSERT_EQ(FirstDifferingBlock(reference, play(nullptr, nullptr, 0)), -1);
    // "volume" and "mute" act on the next block.
    EXPECT_EQ(FirstDifferingBlock(reference, play("Output and note control", "volume", 1)), 2);
    EXPECT_EQ(FirstDifferingBlock(reference, play("Output and note control", "mute", 0)), 2);
    // "feedback" and "Wave ampl." wait for the next note.
    EXPECT_EQ(FirstDifferingBlock(reference, play("Energy dissipation", "feedback", 0.7)), 4);
    EXPECT_EQ(FirstDifferingBlock(reference, play("Additional wave", "Wave ampl.", 0)), 4);

    // A value beyond the range is limited by the control's rule, and the widget shows it.
    auto* feedback = Widget("Energy dissipation", "feedback");
    Move(feedback, 3.0);
    EXPECT_DOUBLE_EQ(module->Controls().energy.feedback.Value(), 1.01);
    EXPECT_DOUBLE_EQ(ValueOf(feedback), 1.01);
}

TEST_F(StringWindowTest, ControllersOnTheModulesChannelMoveTheirWidgetsByTheNextTick) {
    Move(Widget("", "midi controller", 433, 10), 1);
    auto* frequency = Widget("Energy dissipation", "frequency");
    auto* kind = Widget("Output filter", "", 225, 110);
    const double before = ValueOf(frequency);
    env.rack.Controller(1, 11, 127); // another channel
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_DOUBLE_EQ(ValueOf(frequency), before);

    env.rack.Controller(0, 11, 100);
    env.rack.Controller(0, 19, 127);
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_NEAR(ValueOf(frequency), (1.0 + 100 * 0.07086614173228346) * 0.1, 1e-12);
    EXPECT_EQ(ValueOf(kind), 4);

    // With "midi controller" off the widgets stay.
    Move(Widget("", "midi controller", 433, 10), 0);
    env.rack.Controller(0, 11, 0);
    env.rack.Render(64);
    tGuiTimer::RefreshAll();
    EXPECT_NEAR(ValueOf(frequency), (1.0 + 100 * 0.07086614173228346) * 0.1, 1e-12);
}

TEST_F(StringWindowTest, TwentyFourVoicesEnableTheSustainPedal) {
    module->SwitchOn();
    auto held = [&](int voicesEntry) {
        Move(Widget("", "# of voices"), voicesEntry);
        module->AllNotesOff();
        module->NoteOn(60, 100);
        module->Controller(0, 64, 127);
        module->NoteOff(60);
        bool stillHeld = false;
        for (int i = 0; i < module->GetPolyphony(); ++i)
            if (module->Engine().Slot(i).key == 60) stillHeld = true;
        module->Controller(0, 64, 0);
        return stillHeld;
    };
    EXPECT_TRUE(held(11));
    EXPECT_EQ(module->GetPolyphony(), 24);
    EXPECT_FALSE(held(10));
    EXPECT_EQ(module->GetPolyphony(), 12);
}

TEST_F(StringWindowTest, MidiChannelSilencesTheVoicesAndRedrawsTheRack) {
    Move(Find(Window(), "", "@>"), 0);
    env.rack.NoteOn(0, 60, 100);
    env.rack.Render(128);
    ASSERT_EQ(SoundingVoices(), 1);
    const int redraws = env.redraws;
    Move(Widget("", "midi channel"), 4);
    EXPECT_EQ(module->GetChannel(), 4);
    EXPECT_EQ(module->Engine().MidiChannel(), 4);
    EXPECT_EQ(SoundingVoices(), 0);
    EXPECT_EQ(env.redraws, redraws + 1);
    // Set elsewhere (a rack file), the choice follows.
    module->SetChannel(9);
    tGuiTimer::RefreshAll();
    EXPECT_EQ(ValueOf(Widget("", "midi channel")), 8);
}

TEST_F(StringWindowTest, PlayAndPauseDriveAndFollowTheSlotsLight) {
    auto* play = Find(Window(), "", "@>");
    auto* pause = Find(Window(), "", "@||");
    EXPECT_EQ(ValueOf(play), 0);
    Move(play, 0);
    EXPECT_TRUE(module->IsOn());
    EXPECT_EQ(ValueOf(play), 1);
    EXPECT_EQ(env.redraws, 1);
    Move(pause, 0);
    EXPECT_FALSE(module->IsOn());
    EXPECT_EQ(ValueOf(play), 0);
    module->SwitchOn(); // the icon's light
    tGuiTimer::RefreshAll();
    EXPECT_EQ(ValueOf(play), 1);
    // "StopSounds" silences without switching off.
    env.rack.NoteOn(0, 60, 100);
    env.rack.Render(128);
    ASSERT_EQ(SoundingVoices(), 1);
    Move(Find(Window(), "", "StopSounds"), 0);
    EXPECT_EQ(SoundingVoices(), 0);
    EXPECT_TRUE(module->IsOn());
}

TEST_F(StringWindowTest, LoadingAPatchShowsEveryValueAndSavingWritesExactlyTheEdit) {
    // A patch with every value away from the defaults.
    tStringModule source(0, 0);
    tStringControls& c = source.Controls();
    c.energy.frequency.Set(0.31);
    c.energy.filterOrder.Set(3);
    c.outputFilter.slope.Set(5);
    c.envelope.envMode.Set(6);
    c.wave.type.Set(9);
    c.output.volume.Set(2.25);
    c.output.mute.Set(0);
    c.output.autoPan.Set(1);
    c.randomFilter.pink.Set(1);
    const std::string path = env.Path("harp.pst");
    ASSERT_TRUE(source.SavePatchFile(path));

    env.chooserAnswer = path;
    PickMenu(Window(), "File             /Load settings\xE2\x80\xA6");
    ASSERT_EQ(env.chooserCalls.size(), 1u);
    EXPECT_EQ(env.chooserCalls[0].title, "Load");
    EXPECT_EQ(env.chooserCalls[0].pattern, "*.pst");
    EXPECT_EQ(env.chooserCalls[0].directory, env.config.PatchDir());
    EXPECT_STREQ(Window().label(), "KV String Synthesizer   (harp)");
    EXPECT_EQ(module->Caption(), "harp");
    EXPECT_EQ(env.redraws, 1);
    ExpectWidgetsShowControls(*editor);
    EXPECT_DOUBLE_EQ(ValueOf(Widget("Output and note control", "volume")), 2.25);
    EXPECT_EQ(ValueOf(Widget("Additional wave", "Wave type")), 9);
    EXPECT_EQ(ValueOf(Widget("Output and note control", "mute")), 0);

    // Saved unchanged, then after one slider moved: one value differs.
    ASSERT_TRUE(editor->SavePatchPath(env.Path("same")));
    const std::string same = ReadFile(env.Path("same.pst"));
    Move(Widget("Energy dissipation", "off delay"), 40);
    ASSERT_TRUE(editor->SavePatchPath(env.Path("edited.pst")));
    EXPECT_STREQ(Window().label(), "KV String Synthesizer   (edited)");
    EXPECT_EQ(module->Caption(), "edited");
    const std::string edited = ReadFile(env.Path("edited.pst"));
    const auto differ = DifferingTokens(same, edited);
    ASSERT_EQ(differ.size(), 1u);
    EXPECT_EQ(Tokens(edited)[differ[0]], "40");
}

TEST_F(StringWindowTest, SaveFailuresAndOverwritesLeaveTheCaptionAsItWas) {
    const std::string caption = module->Caption();
    EXPECT_FALSE(editor->SavePatchPath(env.Path("missing/dir/organ")));
    ASSERT_EQ(env.alerts.size(), 1u);
    EXPECT_NE(env.alerts[0].find("missing/dir/organ.pst"), std::string::npos);
    EXPECT_STREQ(Window().label(), "KV String Synthesizer");
    EXPECT_EQ(module->Caption(), caption);

    const std::string path = env.Path("organ.pst");
    { std::ofstream(path) << "keep"; }
    env.confirm = false;
    EXPECT_FALSE(editor->SavePatchPath(path));
    EXPECT_EQ(env.confirmations, std::vector<std::string>{path});
    EXPECT_EQ(ReadFile(path), "keep");
    EXPECT_EQ(module->Caption(), caption);
    env.confirm = true;
    EXPECT_TRUE(editor->SavePatchPath(env.Path("organ")));
    EXPECT_NE(ReadFile(path), "keep");
    EXPECT_EQ(module->Caption(), "organ");

    // An unreadable file changes nothing.
    module->Controls().output.volume.Set(1.25);
    EXPECT_FALSE(editor->LoadPatchPath(env.Path("nothing.pst")));
    EXPECT_EQ(env.alerts.size(), 2u);
    EXPECT_DOUBLE_EQ(module->Controls().output.volume.Value(), 1.25);
    // A cancelled chooser does nothing.
    env.chooserAnswer.clear();
    PickMenu(Window(), "File             /Save settings\xE2\x80\xA6");
    EXPECT_EQ(env.chooserCalls.back().title, "Save");
    EXPECT_TRUE(env.chooserCalls.back().save);
    EXPECT_EQ(module->Caption(), "organ");
}

TEST_F(StringWindowTest, OpeningAndClosingChangeNothingAudible) {
    module->SwitchOn();
    const double volume = module->Controls().output.volume.Value();
    editor->Open();
    Fl::check();
    EXPECT_TRUE(editor->IsOpen());
    PickMenu(Window(), "File             /Close");
    EXPECT_FALSE(editor->IsOpen());
    EXPECT_TRUE(module->IsOn());
    EXPECT_DOUBLE_EQ(module->Controls().output.volume.Value(), volume);
    editor->Open();
    editor->Close();
    EXPECT_FALSE(editor->IsOpen());
    EXPECT_TRUE(module->IsOn());
}

TEST(StringMappingWindowTest, OneWindowForAllStringModulesWithTheTextByteForByte) {
    const std::string expected = "\n"
                                 " Midi-Ctrl Number          String Synth-function\n"
                                 " ========================================================\n"
                                 "     11                Energy Dissipation:  frequency\n"
                                 "     12                Energy Dissipation:  filter order\n"
                                 "     13                Energy Dissipation:  feedback\n"
                                 "     14                Energy Dissipation:  softdamp\n"
                                 "      2                Random filter:       frequency\n"
                                 "     15                Additional wave:     wave ampl\n"
                                 "     16                Additional wave:     wave type\n"
                                 "   Pitch bender        Output filter:       frequency\n"
                                 "     17                Output filter:       frequency\n"
                                 "     18                Output filter:       resonance\n"
                                 "     19                Output filter:       type\n"
                                 "     20                Output filter:       order\n"
                                 "      7                Output & note ctrl:  volume\n"
                                 "     21                Output & note ctrl:  attack\n"
                                 "      1                Output & note ctrl:  LFO amplitude\n"
                                 "     22                Filter Envelope:     env mode\n"
                                 "     23                Filter Envelope:     env ampl\n"
                                 "     24                Filter Envelope:     env speed\n"
                                 "     25                Filter Envelope:     env sustain\n"
                                 "     26                Filter Envelope:     env release";
    tEditorContext env;
    tStringModule a(0, 0), b(0, 0);
    tStringWindow first(a, env.context), second(b, env.context);
    ASSERT_EQ(&first.Mapping(), &second.Mapping());
    tMappingWindow& mapping = first.Mapping();
    EXPECT_EQ(std::string(mapping.Text()), expected);
    EXPECT_STREQ(mapping.Window().label(), "String Synth Midi Controller Mapping");
    EXPECT_EQ(mapping.Window().w(), 424);
    EXPECT_EQ(mapping.Window().h(), 347);
    auto* dismiss = FindAs<Fl_Button>(mapping.Window(), "", "Dismiss");
    ASSERT_NE(dismiss, nullptr);
    EXPECT_EQ(dismiss->x(), 351);
    EXPECT_EQ(dismiss->y(), 12);
    EXPECT_EQ(Find(mapping.Window(), "", "output:")->h(), 295);

    PickMenu(second.Window(), "Help               /Midi Controller Mapping");
    Fl::check();
    EXPECT_TRUE(mapping.IsShown());
    dismiss->do_callback();
    EXPECT_FALSE(mapping.IsShown());
}

} // namespace
