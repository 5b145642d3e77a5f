#include "gui/EffectsWindow.h"

#include "effects/EffectsModule.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Value_Slider.H>

tEffectsWindow::tEffectsWindow(tEffectsModule& module, const tModuleContext& context)
    : tModuleEditor(module, context, 980, 280, "kvEffects", "*.efx"), mModule(module) {
    tEffectsControls& c = module.Engine().Controls();

    AddMenu(5, 5, 385, 20, "File", "load settings", "save settings", "close");

    tEffectsTopControls& t = c.top;
    Fl_Group* top = AddGroup(400, 5, 570, 30, "", true);
    // Set: the module switches off; cleared: on, as the slot's light does.
    AddSwitch(415, 15, t.allEffectsOff, [this, &t] {
        if (t.allEffectsOff.IsOn())
            SwitchOff();
        else
            SwitchOn();
    });
    AddSwitch(555, 15, t.meterOn);
    auto* meter = new tFillSlider(600, 15, 115, 10, "VU ");
    meter->type(FL_HOR_FILL_SLIDER);
    meter->align(FL_ALIGN_LEFT);
    meter->labelsize(12);
    meter->bounds(t.meter.Minimum(), t.meter.Maximum());
    meter->set_output(); // display only, in its colours
    meter->tooltip("The unit's output level, while the switch beside it is on");
    Binding().BindDisplay(meter, t.meter);
    AddSlider(730, 10, t.outputVolume, 140, 20);
    top->end();

    tUniversalFilterControls& u = c.filter;
    Fl_Group* filter = AddGroup(200, 30, 190, 245, u.kLabel, true);
    AddSlider(205, 55, u.frequency);
    AddSlider(205, 80, u.resonance);
    AddChoice(275, 105, 90, u.mode);
    AddChoice(275, 125, 75, u.type);
    AddChoice(275, 145, 65, u.order);
    AddSlider(205, 170, u.modFreq);
    AddSlider(205, 195, u.modDepth);
    AddSlider(205, 225, u.volume);
    AddSwitch(330, 255, u.on);
    filter->end();

    tDistortionControls& d = c.distortion;
    Fl_Group* distortion = AddGroup(785, 190, 190, 85, d.kLabel, true);
    AddSlider(790, 210, d.level);
    AddSlider(790, 235, d.volume);
    AddSwitch(810, 260, d.softMode);
    AddSwitch(915, 260, d.on);
    distortion->end();

    tPMResonatorControls& p = c.pmResonator;
    Fl_Group* pm = AddGroup(395, 45, 190, 230, p.kLabel, true);
    AddSlider(400, 70, p.feed);
    AddSlider(400, 95, p.feedFreq);
    AddSlider(400, 120, p.intensity);
    AddSlider(400, 145, p.efxVolume);
    AddSlider(400, 170, p.resoMode);
    AddSwitch(500, 195, p.scaleX20);
    AddSlider(400, 220, p.frequency);
    AddSwitch(425, 255, p.efxOnly);
    AddSwitch(525, 255, p.on);
    pm->end();

    tChorusControls& h = c.chorus;
    Fl_Group* chorus = AddGroup(5, 155, 190, 120, h.kLabel, true);
    AddSlider(10, 180, h.frequency);
    AddSlider(10, 205, h.width);
    AddSlider(10, 230, h.volume);
    AddSwitch(135, 255, h.on);
    chorus->end();

    tReverbControls& r = c.reverb;
    Fl_Group* reverb = AddGroup(785, 40, 190, 145, r.kLabel, true);
    AddSlider(790, 60, r.damping);
    AddSlider(790, 85, r.width);
    AddSlider(790, 110, r.roomSize);
    AddSlider(790, 135, r.volume);
    AddChoice(825, 160, 75, r.type);
    AddSwitch(915, 165, r.on);
    reverb->end();

    tDelayControls& y = c.delay;
    Fl_Group* delay = AddGroup(5, 30, 190, 120, y.kLabel, true);
    AddSlider(10, 55, y.time);
    AddSlider(10, 80, y.feedback);
    AddSlider(10, 105, y.volume);
    AddSwitch(30, 130, y.pingPong);
    AddSwitch(135, 130, y.on);
    delay->end();

    tResonatorControls& s = c.resonator;
    Fl_Group* resonator = AddGroup(590, 50, 190, 220, s.kLabel, true);
    for (int band = 0; band < tResonatorControls::kBands; ++band) {
        tControl& gain = s.bands[band];
        auto* slider = new tFillSlider(600 + 35 * band, 80, 25, 110);
        slider->type(FL_VERT_FILL_SLIDER);
        slider->copy_label(gain.Label().c_str());
        slider->labelsize(12);
        slider->align(FL_ALIGN_BOTTOM);
        slider->bounds(gain.Minimum(), gain.Maximum()); // 2 at the top
        slider->step(gain.Step());
        slider->selection_color(tSkin::Gold());
        Binding().Bind(slider, gain);
        Describe(gain, "Gain of the resonator band at this frequency (2 at the top)");
    }
    AddSlider(595, 215, s.volume);
    AddSwitch(610, 250, s.frequencyX2);
    AddSwitch(725, 251, s.on);
    AddSwitch(760, 63, s.stereo)->align(FL_ALIGN_LEFT);
    resonator->end();

    Describe(t.allEffectsOff, "Switches the whole effects unit off (its lamp in the rack goes "
                              "dark) and on again");
    Describe(t.meterOn, "Lets the VU meter show the unit's output level");
    Describe(t.outputVolume, "Level of everything the unit puts out");
    Describe(u.frequency, "Cutoff of the universal filter");
    Describe(u.resonance, "Emphasis at the filter's cutoff");
    Describe(u.mode, "Low pass, high pass or band pass");
    Describe(u.type, "Response of the filter");
    Describe(u.order, "Steepness of the filter");
    Describe(u.modFreq, "Speed of the filter's sweep");
    Describe(u.modDepth, "Depth of the filter's sweep");
    Describe(u.volume, "Level after the filter");
    Describe(u.on, "Switches the universal filter on");
    Describe(d.level, "How hard the signal is driven into distortion");
    Describe(d.volume, "Level after the distortion");
    Describe(d.softMode, "A softer, rounder distortion curve");
    Describe(d.on, "Switches the distortion on");
    Describe(p.feed, "Feedback of the resonator's loop: how long it rings");
    Describe(p.feedFreq, "Damping of the resonator's loop: how dark its ringing is");
    Describe(p.intensity, "How strongly the input excites the resonator");
    Describe(p.efxVolume, "Level of the resonator's sound");
    Describe(p.resoMode, "Length ratio of the resonator's two lines: its character");
    Describe(p.scaleX20, "Multiplies the length ratio by 20");
    Describe(p.frequency, "The resonator's pitch");
    Describe(p.efxOnly, "Only the resonator's sound, without the input");
    Describe(p.on, "Switches the PM resonator on");
    Describe(h.frequency, "Speed of the chorus sweep");
    Describe(h.width, "Depth of the chorus sweep");
    Describe(h.volume, "Level of the chorus voices");
    Describe(h.on, "Switches the chorus on");
    Describe(r.damping, "How fast the reverb's high frequencies die away");
    Describe(r.width, "Stereo width of the reverb");
    Describe(r.roomSize, "Size of the room: how long the reverb lasts");
    Describe(r.volume, "Level of the reverb");
    Describe(r.type, "The kind of reverb");
    Describe(r.on, "Switches the reverb on");
    Describe(y.time, "Time between the echoes, in milliseconds");
    Describe(y.feedback, "How much of each echo comes back: how many echoes");
    Describe(y.volume, "Level of the echoes");
    Describe(y.pingPong, "Echoes bounce between left and right");
    Describe(y.on, "Switches the delay on");
    Describe(s.volume, "Level of the resonator bands together");
    Describe(s.frequencyX2, "Moves every band an octave up");
    Describe(s.stereo, "Separate bands for left and right");
    Describe(s.on, "Switches the resonator on");
    // The effects unit takes no controllers: no map.
    Finish();
}

tEffectsWindow::~tEffectsWindow() = default;
