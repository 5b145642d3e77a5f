#include "gui/FluteWindow.h"

#include "flute/FluteParameters.h"
#include "flute/FluteSynth.h"
#include "gui/MappingWindow.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Toggle_Button.H>
#include <FL/Fl_Value_Slider.H>

namespace {
constexpr int kLabelSize = 11;
} // namespace

tFluteWindow::tFluteWindow(tFluteSynth& module, const tModuleContext& context)
    : tModuleEditor(module, context, 600, 335, "kvFlute", "*.flt"), mModule(module),
      mMapping(FluteMappingWindow()) {
    tFluteControls& c = module.Controls();
    auto check = [this](int x, int y, tControl& control) {
        auto* button = new tCheckSwitch(x, y, 100, 20);
        button->copy_label(control.Label().c_str());
        button->labelsize(kLabelSize);
        Binding().Bind(button, control);
        return button;
    };

    AddMenu(5, 5, 195, 20, "File            ", "Load settings", "Save settings", "Close",
            "Help              ", "Midi Controller Mapping");
    auto* mono = new Fl_Box(205, 5, 90, 20, "mono voice");
    mono->box(FL_ENGRAVED_BOX);
    tSkin::StyleLabel(*mono, kLabelSize);
    AddChoice(385, 5, 45, c.midiChannel, [this, &c] { SetChannel(c.midiChannel.Index() + 1); });
    auto* controller = new Fl_Toggle_Button(440, 5, 110, 20);
    controller->copy_label(c.midiController.Label().c_str());
    tSkin::StyleButton(*controller);
    controller->labelsize(kLabelSize);
    controller->selection_color(fl_rgb_color(52, 130, 58));
    Binding().Bind(controller, c.midiController);

    tFluteControls::tOscillator& o = c.oscillator;
    Fl_Group* oscillator = AddGroup(5, 45, 195, 280, "Oscillator settings", false);
    AddSlider(10, 55, o.frequency);
    AddSlider(10, 80, o.freqMax);
    AddChoice(130, 105, 50, o.followNote);
    AddSlider(10, 130, o.feedBore);
    AddSlider(10, 155, o.embroSize);
    AddSlider(10, 180, o.feedEmb);
    check(10, 205, o.scale100);
    AddChoice(130, 230, 65, o.type);
    AddChoice(130, 255, 40, o.filterOrder);
    AddSlider(10, 280, o.boreScale);
    oscillator->end();

    tFluteControls::tBreath& b = c.breath;
    Fl_Group* breath = AddGroup(205, 45, 195, 145, "Breath", false);
    AddSlider(210, 55, b.frequency);
    AddSlider(210, 80, b.amplitude);
    AddSlider(210, 105, b.attack);
    AddChoice(330, 130, 50, b.followNote);
    AddSlider(210, 155, b.attackAmplitude);
    breath->end();

    tFluteControls::tPressure& p = c.pressure;
    Fl_Group* pressure = AddGroup(205, 210, 195, 115, "Pressure - tremolo", false);
    AddSlider(210, 220, p.pressure);
    AddSlider(210, 245, p.tremoloFreq)->labelsize(kLabelSize - 1); // fits the frame
    AddSlider(210, 270, p.amplitude);
    AddSlider(210, 295, p.attack);
    pressure->end();

    Fl_Group* output = AddGroup(405, 45, 190, 65, "Output control", false);
    AddSlider(410, 55, c.outputControl.volume);
    check(410, 80, c.outputControl.mute);
    output->end();

    tFluteControls::tOutputFilter& f = c.outputFilter;
    Fl_Group* filter = AddGroup(405, 130, 190, 120, "Output filter", false);
    AddSlider(410, 140, f.frequency);
    AddSlider(410, 165, f.resonance);
    AddChoice(530, 190, 55, f.followNote);
    AddChoice(410, 215, 80, f.type);
    AddChoice(500, 215, 80, f.onOff);
    filter->end();

    Fl_Group* transport = AddGroup(405, 255, 190, 35, "", false);
    AddTransport(425, 460, 260, 500, 265, "Stop Sound");
    transport->end();

    auto* title = new Fl_Box(405, 300, 190, 20, "KV Flute Synthesizer  v1.2");
    tSkin::StyleLabel(*title, 12, true);
    title->labelcolor(tSkin::Gold());

    Describe(c.midiChannel, "The MIDI channel the module listens to");
    Describe(c.midiController, "Lets MIDI controllers move this window's controls");
    Describe(o.frequency, "Cutoff of the bore's loop filter: how bright the tone is");
    Describe(o.freqMax, "The highest the loop filter's cutoff may go");
    Describe(o.followNote, "Whether the loop filter follows the key played");
    Describe(o.feedBore, "How much of the bore's reflection comes back: the body of the tone");
    Describe(o.embroSize, "Length of the jet against the bore (the embouchure): which mode "
                          "sounds and how breathy; the pitch bender moves it");
    Describe(o.feedEmb, "How much of the bore's sound drives the jet");
    Describe(o.scale100, "Multiplies the embouchure by 100: wild, overblown tones");
    Describe(o.type, "The instrument the model plays: clarinet (reed) or flute (jet)");
    Describe(o.filterOrder, "Steepness of the loop filter");
    Describe(o.boreScale, "Length of the bore against the note: higher sounds lower modes");
    Describe(b.frequency, "Cutoff of the breath noise's filter");
    Describe(b.amplitude, "Level of the breath noise");
    Describe(b.attack, "How long the breath takes to build up when a note starts");
    Describe(b.followNote, "How the breath filter follows the key played");
    Describe(b.attackAmplitude, "Extra breath at the start of a note");
    Describe(p.pressure, "The player's blowing pressure");
    Describe(p.tremoloFreq, "Speed of the tremolo");
    Describe(p.amplitude, "Depth of the tremolo");
    Describe(p.attack, "How long a note takes to build up");
    Describe(c.outputControl.volume, "Level of the module's notes");
    Describe(c.outputControl.mute, "Lowers the module to a fifth of its level");
    Describe(f.frequency, "Cutoff of the output filter, above the note played");
    Describe(f.resonance, "Emphasis at the output filter's cutoff");
    Describe(f.followNote, "Whether the output filter's cutoff follows the key played");
    Describe(f.type, "Response of the output filter");
    Describe(f.onOff, "The output filter off, or on at 12 dB per octave");

    // Which controller moves which control, from the module's parameter table.
    static const tControllerMap controllers = ControllersOf(FluteParameters(c), &c);
    UseControllers(&controllers, &c, c.midiController.Label().c_str());
    Finish();
}

tFluteWindow::~tFluteWindow() = default;

void tFluteWindow::StopSounds() {
    WithEngine([this] { mModule.AllNotesOff(); });
}

void tFluteWindow::ShowMapping() {
    mMapping->Show();
}
