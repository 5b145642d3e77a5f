#include "gui/StringWindow.h"

#include "gui/MappingWindow.h"
#include "string/StringModule.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>

tStringWindow::tStringWindow(tStringModule& module, const tModuleContext& context)
    : tModuleEditor(module, context, 599, 425, "kvString", "*.pst"), mModule(module),
      mMapping(StringMappingWindow()) {
    tStringControls& c = module.Controls();

    AddMenu(5, 5, 195, 20, "File             ", "Load settings", "Save settings", "Close",
            "Help               ", "Midi Controller Mapping");

    Fl_Group* top = AddGroup(205, 5, 390, 20, "", false);
    AddChoice(287, 5, 45, c.top.voices); // the engine reads the voice count from it
    AddSwitch(433, 10, c.top.midiController)->align(FL_ALIGN_LEFT);
    AddChoice(538, 5, 45, c.top.midiChannel,
              [this, &c] { SetChannel(c.top.midiChannel.Index() + 1); });
    top->end();

    tStringControls::tEnergyDissipation& e = c.energy;
    Fl_Group* energy = AddGroup(5, 50, 195, 275, e.kTitle, false);
    AddSlider(10, 60, e.frequency);
    AddSlider(10, 85, e.freqMax);
    AddChoice(130, 110, 40, e.filterOrder);
    AddChoice(130, 135, 55, e.filterFollows);
    AddSlider(10, 160, e.feedback);
    AddSlider(10, 185, e.softDamp);
    AddSlider(10, 210, e.filterAttack);
    AddSwitch(105, 230, e.fixedTime);
    AddSlider(10, 245, e.startFreq);
    AddSlider(10, 275, e.offDelay);
    AddSlider(10, 300, e.offFeedback);
    energy->end();

    tStringControls::tOutputFilter& f = c.outputFilter;
    Fl_Group* filter = AddGroup(205, 50, 195, 115, f.kTitle, false);
    AddSlider(210, 60, f.frequency);
    AddSlider(210, 85, f.resonance);
    AddChoice(225, 110, 75, f.kind);
    AddChoice(305, 110, 75, f.slope);
    AddChoice(325, 135, 50, f.filterFollows);
    filter->end();

    tStringControls::tOutputFilterEnvelope& v = c.envelope;
    Fl_Group* envelope = AddGroup(205, 185, 195, 140, v.kTitle, false);
    AddChoice(300, 195, 80, v.envMode);
    AddSlider(210, 225, v.envAmpl);
    AddSlider(210, 250, v.envSpeed);
    AddSlider(210, 275, v.envSustain);
    AddSlider(210, 300, v.envRelease);
    envelope->end();

    tStringControls::tRandomFilter& r = c.randomFilter;
    Fl_Group* random = AddGroup(5, 345, 195, 65, r.kTitle, false);
    AddSlider(10, 355, r.frequency);
    AddChoice(60, 380, 55, r.follows);
    AddSwitch(140, 385, r.pink);
    random->end();

    tStringControls::tAdditionalWave& w = c.wave;
    Fl_Group* wave = AddGroup(205, 345, 195, 65, w.kTitle, false);
    AddSlider(210, 355, w.amplitude);
    AddChoice(320, 380, 70, w.type);
    wave->end();

    tStringControls::tOutputAndNoteControl& o = c.output;
    Fl_Group* output = AddGroup(405, 50, 190, 270, o.kTitle, false);
    AddSlider(410, 60, o.volume);
    AddSwitch(510, 90, o.mute);
    AddSlider(410, 110, o.attack);
    AddSlider(410, 135, o.release);
    AddSlider(410, 160, o.silence);
    AddSlider(410, 185, o.lfoFreq);
    AddSlider(410, 210, o.lfoAmpl);
    AddSwitch(420, 245, o.dcFilter);
    AddSwitch(505, 245, o.amplEnv);
    AddSwitch(420, 270, o.modulation);
    AddSwitch(505, 270, o.bassBoost);
    AddSwitch(420, 294, o.linVelocity);
    AddSwitch(505, 294, o.autoPan);
    output->end();

    Fl_Group* transport = AddGroup(405, 330, 190, 35, "", false);
    AddTransport(425, 460, 335, 500, 340, "StopSounds");
    transport->end();

    auto* title = new Fl_Box(400, 375, 200, 18, "KV String Synthesizer");
    title->labelfont(FL_HELVETICA_BOLD);
    title->labelsize(14);
    auto* version = new Fl_Box(400, 395, 200, 15, "Version 1.6");
    version->labelsize(11);
    Finish();
}

tStringWindow::~tStringWindow() = default;

void tStringWindow::StopSounds() {
    WithEngine([this] { mModule.Engine().ResetVoices(); });
}

void tStringWindow::ShowMapping() {
    mMapping->Show();
}
