#include "gui/StringWindow.h"

#include "gui/MappingWindow.h"
#include "gui/Skin.h"
#include "string/StringModule.h"
#include "string/StringParameters.h"

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
    tSkin::StyleLabel(*title, 14, true);
    title->labelcolor(tSkin::Gold());
    auto* version = new Fl_Box(400, 395, 200, 15, "Version 1.6");
    tSkin::StyleLabel(*version, 11);
    version->labelcolor(tSkin::DimText());

    Describe(c.top.voices, "How many notes can sound at once (24 also lets the sustain pedal "
                           "hold notes)");
    Describe(c.top.midiController, "Lets MIDI controllers move this window's controls");
    Describe(c.top.midiChannel, "The MIDI channel the module listens to");
    Describe(e.frequency, "Cutoff of the string's loop filter: how bright the string rings and "
                          "how soon its high partials die away");
    Describe(e.freqMax, "The highest the loop filter's cutoff may go: the brightest the string "
                        "can sound");
    Describe(e.filterOrder, "Steepness of the loop filter: higher orders damp the high partials "
                            "faster");
    Describe(e.filterFollows, "How the loop filter follows the key played");
    Describe(e.feedback, "How much of the string's energy survives each round trip: higher "
                         "rings longer");
    Describe(e.softDamp, "Extra damping of the high partials as the note goes on");
    Describe(e.filterAttack, "How long the loop filter takes to open when a note starts");
    Describe(e.fixedTime, "On: the filter attack lasts a fixed time; off: a number of the "
                          "string's periods");
    Describe(e.startFreq, "The loop filter's cutoff when the attack starts");
    Describe(e.offDelay, "Periods after the key is let go before the string is damped");
    Describe(e.offFeedback, "Feedback once the key is let go: how fast the note dies away");
    Describe(f.frequency, "Cutoff of the output filter, above the note played; the pitch bender "
                          "sweeps it");
    Describe(f.resonance, "Emphasis at the output filter's cutoff");
    Describe(f.kind, "Response of the output filter");
    Describe(f.slope, "Steepness of the output filter, or off");
    Describe(f.filterFollows, "Whether the output filter's cutoff follows the key played");
    Describe(v.envMode, "What the envelope does to the output filter (off, normal, by velocity, "
                        "inverted, on its amount or its speed)");
    Describe(v.envAmpl, "How far the envelope moves the output filter's cutoff");
    Describe(v.envSpeed, "How fast the envelope rises");
    Describe(v.envSustain, "The level the envelope holds while the key is down");
    Describe(v.envRelease, "How fast the envelope falls once the key is let go");
    Describe(r.frequency, "Cutoff of the filter on the noise that plucks the string: a brighter "
                          "or duller attack");
    Describe(r.follows, "How the pluck's noise filter follows the key played");
    Describe(r.pink, "Plucks with pink, darker noise instead of white");
    Describe(w.amplitude, "Level of the extra waveform mixed into the pluck");
    Describe(w.type, "The extra waveform mixed into the pluck");
    Describe(o.volume, "Level of the module's notes");
    Describe(o.mute, "Lowers the module to a fifth of its level");
    Describe(o.attack, "How long each note takes to fade in");
    Describe(o.release, "How long a note takes to fade once the key is let go");
    Describe(o.silence, "Periods of silence before a note sounds");
    Describe(o.lfoFreq, "Speed of the tremolo");
    Describe(o.lfoAmpl, "Depth of the tremolo");
    Describe(o.dcFilter, "Removes a constant offset from the output");
    Describe(o.amplEnv, "The note's level follows the filter envelope");
    Describe(o.modulation, "Inverts the string loop: a hollow tone an octave lower");
    Describe(o.bassBoost, "Lifts the low end");
    Describe(o.linVelocity, "Velocity sets the level in proportion instead of by its curve");
    Describe(o.autoPan, "Spreads the notes across the stereo field by key");

    // Which controller moves which control, from the module's parameter table.
    static const tControllerMap controllers = ControllersOf(StringParameters(c), &c);
    UseControllers(&controllers, &c, c.top.midiController.Label().c_str());
    Finish();
}

tStringWindow::~tStringWindow() = default;

void tStringWindow::StopSounds() {
    WithEngine([this] { mModule.Engine().ResetVoices(); });
}

void tStringWindow::ShowMapping() {
    mMapping->Show();
}
