#include "gui/FluteWindow.h"

#include "flute/FluteSynth.h"
#include "gui/MappingWindow.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Button.H>
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
        auto* button = new Fl_Check_Button(x, y, 100, 20);
        button->copy_label(control.Label().c_str());
        button->labelsize(kLabelSize);
        Binding().Bind(button, control);
        return button;
    };

    AddMenu(5, 5, 195, 20, "File            ", "Load settings", "Save settings", "Close",
            "Help              ", "Midi Controller Mapping");
    auto* mono = new Fl_Box(205, 5, 90, 20, "mono voice");
    mono->box(FL_ENGRAVED_BOX);
    mono->labelsize(kLabelSize);
    AddChoice(385, 5, 45, c.midiChannel, [this, &c] { SetChannel(c.midiChannel.Index() + 1); });
    auto* controller = new Fl_Toggle_Button(440, 5, 110, 20);
    controller->copy_label(c.midiController.Label().c_str());
    controller->labelsize(kLabelSize);
    controller->selection_color(FL_GREEN);
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
    title->labelfont(FL_HELVETICA_BOLD);
    title->labelsize(12);
    Finish();
}

tFluteWindow::~tFluteWindow() = default;

void tFluteWindow::StopSounds() {
    WithEngine([this] { mModule.AllNotesOff(); });
}

void tFluteWindow::ShowMapping() {
    mMapping->Show();
}
