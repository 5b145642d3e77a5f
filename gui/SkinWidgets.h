// The skinned controls every window uses: value sliders, fill sliders and meters, switches
// (light and check buttons drawn as sliding switches) and choices. They keep the toolkit
// class they stand for (a value slider is an Fl_Value_Slider, a switch an Fl_Light_Button),
// its value and its mouse handling; only the drawing is ours, at the scale factor's sizes.
#pragma once

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Slider.H>

// A horizontal value slider: the value in a box at its left (35 pixels at factor 1), a groove
// filled up to the knob. A continuous value shows three decimals (one above 10) so it fits.
class tValueSlider : public Fl_Value_Slider {
public:
    tValueSlider(int x, int y, int w, int h, const char* label = nullptr);
    int format(char* buffer) override;
    int handle(int event) override;

protected:
    void draw() override;

private:
    // The part the knob moves in, as the toolkit's slider handling takes it.
    void Track(int& x, int& y, int& w, int& h) const;
};

// A plain horizontal slider: the groove and knob of the value slider without its value box.
class tSkinSlider : public Fl_Slider {
public:
    tSkinSlider(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};

// A fill slider or meter: a dark groove filled with the selection colour from its minimum
// end; vertical ones fill from the bottom when the maximum is at the top.
class tFillSlider : public Fl_Slider {
public:
    tFillSlider(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};

// Draws a sliding switch into the box: a rounded track, lit when on, and its knob.
void DrawSwitch(int x, int y, int w, int h, bool on, bool active);

// A light button drawn as a switch filling its box; its label stands beside it.
class tSwitch : public Fl_Light_Button {
public:
    tSwitch(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};

// A check button drawn as a switch at its left with the label after it, inside its box.
class tCheckSwitch : public Fl_Check_Button {
public:
    tCheckSwitch(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};

// A button that opens a menu, drawn as an arrow.
class tSkinMenuButton : public Fl_Menu_Button {
public:
    tSkinMenuButton(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};

// A drop-down choice: a dark field with the chosen entry and an arrow.
class tSkinChoice : public Fl_Choice {
public:
    tSkinChoice(int x, int y, int w, int h, const char* label = nullptr);

protected:
    void draw() override;
};
