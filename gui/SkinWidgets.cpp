#include "gui/SkinWidgets.h"

#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kValueBoxWidth = 35; // at factor 1, as the toolkit's value slider has it

double Fraction(const Fl_Valuator& v) {
    if (v.minimum() == v.maximum()) return 0.5;
    return std::clamp((v.value() - v.minimum()) / (v.maximum() - v.minimum()), 0.0, 1.0);
}

Fl_Color Faded(Fl_Color c, bool active) {
    return active ? c : tSkin::Mix(c, tSkin::Background(), 0.6);
}

// A slider's groove, filled up to its knob, and the knob where the toolkit's slider handling
// puts it in the track (tx, ty, tw, th).
void DrawGroove(const Fl_Slider& slider, int tx, int ty, int tw, int th, bool on) {
    const int knob = std::max(static_cast<int>(slider.slider_size() * tw + 0.5), th / 2 + 1 + 4);
    const int knobX = tx + static_cast<int>(Fraction(slider) * (tw - knob) + 0.5);
    const int groove = std::max(3, tUiScale::Px(4));
    const int gy = ty + (th - groove) / 2;
    tSkin::RoundedRect(tx, gy, tw, groove, groove / 2, tSkin::Field());
    tSkin::RoundedRect(tx, gy, knobX + knob / 2 - tx, groove, groove / 2,
                       Faded(slider.selection_color(), on));
    tSkin::RoundedRect(knobX, ty, knob, th, tUiScale::Px(3), tSkin::Edge());
    tSkin::VerticalGradient(knobX + 1, ty + 1, knob - 2, th - 2,
                            Faded(fl_rgb_color(208, 210, 214), on),
                            Faded(fl_rgb_color(120, 122, 128), on));
    fl_color(Faded(tSkin::Amber(), on));
    fl_yxline(knobX + knob / 2, ty + 3, ty + th - 4);
}

} // namespace

// --- value slider -------------------------------------------------------------------------

tValueSlider::tValueSlider(int x, int y, int w, int h, const char* label)
    : Fl_Value_Slider(x, y, w, h, label) {
    type(FL_HOR_NICE_SLIDER);
    box(FL_DOWN_BOX);
    color(tSkin::Field());
    selection_color(tSkin::Gold());
    textcolor(tSkin::Text());
    labelcolor(tSkin::Text());
}

int tValueSlider::format(char* buffer) {
    if (step() != 0.0) return Fl_Value_Slider::format(buffer);
    const double range = std::max(std::fabs(minimum()), std::fabs(maximum()));
    return std::snprintf(buffer, 128, range > 10.0 ? "%.1f" : "%.3f", value());
}

void tValueSlider::Track(int& tx, int& ty, int& tw, int& th) const {
    const int box = tUiScale::Px(kValueBoxWidth);
    tx = x() + box + Fl::box_dx(FL_DOWN_BOX);
    ty = y() + Fl::box_dy(FL_DOWN_BOX);
    tw = w() - box - Fl::box_dw(FL_DOWN_BOX);
    th = h() - Fl::box_dh(FL_DOWN_BOX);
}

int tValueSlider::handle(int event) {
    if (event == FL_PUSH && Fl::visible_focus() && handle(FL_FOCUS)) {
        Fl::focus(this);
        redraw();
    }
    int tx, ty, tw, th;
    Track(tx, ty, tw, th);
    return Fl_Slider::handle(event, tx, ty, tw, th);
}

void tValueSlider::draw() {
    const bool on = active_r() != 0;
    const int box = tUiScale::Px(kValueBoxWidth);
    // The value box.
    fl_draw_box(FL_DOWN_BOX, x(), y(), box, h(), tSkin::Field());
    char text[128];
    format(text);
    fl_font(textfont(), textsize());
    fl_color(Faded(textcolor(), on));
    fl_draw(text, x(), y(), box, h(), FL_ALIGN_CENTER | FL_ALIGN_CLIP);

    // The groove with its fill up to the knob, and the knob where the toolkit puts it.
    fl_draw_box(FL_FLAT_BOX, x() + box, y(), w() - box, h(), tSkin::Background());
    int tx, ty, tw, th;
    Track(tx, ty, tw, th);
    DrawGroove(*this, tx, ty, tw, th, on);
    if (Fl::focus() == this && Fl::visible_focus()) {
        fl_color(tSkin::Amber());
        fl_rect(x(), y(), box, h());
    }
}

// --- plain slider --------------------------------------------------------------------------

tSkinSlider::tSkinSlider(int x, int y, int w, int h, const char* label)
    : Fl_Slider(x, y, w, h, label) {
    type(FL_HOR_NICE_SLIDER);
    box(FL_DOWN_BOX);
    color(tSkin::Field());
    selection_color(tSkin::Gold());
    labelcolor(tSkin::Text());
}

void tSkinSlider::draw() {
    fl_draw_box(FL_FLAT_BOX, x(), y(), w(), h(), tSkin::Background());
    DrawGroove(*this, x() + Fl::box_dx(box()), y() + Fl::box_dy(box()), w() - Fl::box_dw(box()),
               h() - Fl::box_dh(box()), active_r() != 0);
}

// --- fill slider / meter -------------------------------------------------------------------

tFillSlider::tFillSlider(int x, int y, int w, int h, const char* label)
    : Fl_Slider(x, y, w, h, label) {
    box(FL_DOWN_BOX);
    color(tSkin::Field());
    labelcolor(tSkin::Text());
}

void tFillSlider::draw() {
    fl_draw_box(box(), x(), y(), w(), h(), color());
    const int dx = Fl::box_dx(box()), dy = Fl::box_dy(box());
    const int ix = x() + dx, iy = y() + dy, iw = w() - Fl::box_dw(box()),
              ih = h() - Fl::box_dh(box());
    const double f = Fraction(*this);
    const Fl_Color fill = Faded(selection_color(), active_r() != 0);
    if (horizontal()) {
        const int filled = static_cast<int>(f * iw + 0.5);
        tSkin::VerticalGradient(ix, iy, filled, ih, tSkin::Mix(fill, FL_WHITE, 0.25), fill);
    } else {
        // The toolkit keeps the minimum at the top; a slider whose maximum is at the top
        // fills from the bottom up to the value.
        const int at = static_cast<int>(f * ih + 0.5);
        fl_color(fill);
        if (minimum() > maximum())
            fl_rectf(ix, iy + at, iw, ih - at);
        else
            fl_rectf(ix, iy, iw, at);
    }
}

// --- switches --------------------------------------------------------------------------------

void DrawSwitch(int x, int y, int w, int h, bool on, bool active) {
    const int r = h / 2;
    tSkin::RoundedRect(x, y, w, h, r, tSkin::Edge());
    const Fl_Color track = on ? fl_rgb_color(64, 170, 70) : fl_rgb_color(78, 80, 88);
    tSkin::RoundedRect(x + 1, y + 1, w - 2, h - 2, r - 1, Faded(track, active));
    const int knob = h - 2;
    const int kx = on ? x + w - 1 - knob : x + 1;
    fl_color(Faded(on ? fl_rgb_color(240, 255, 236) : fl_rgb_color(176, 178, 182), active));
    fl_pie(kx, y + 1, knob, knob, 0, 360);
}

tSwitch::tSwitch(int x, int y, int w, int h, const char* label)
    : Fl_Light_Button(x, y, w, h, label) {
    box(FL_NO_BOX);
    selection_color(tSkin::LampOn());
    labelcolor(tSkin::Text());
}

void tSwitch::draw() {
    DrawSwitch(x(), y(), w(), h(), value() != 0, active_r() != 0);
}

tCheckSwitch::tCheckSwitch(int x, int y, int w, int h, const char* label)
    : Fl_Check_Button(x, y, w, h, label) {
    selection_color(tSkin::LampOn());
    labelcolor(tSkin::Text());
}

void tCheckSwitch::draw() {
    if (box() != FL_NO_BOX) draw_box();
    const int sh = tUiScale::Px(11), sw = tUiScale::Px(21);
    const int sx = x() + tUiScale::Px(3);
    DrawSwitch(sx, y() + (h() - sh) / 2, sw, sh, value() != 0, active_r() != 0);
    const int lx = sx + sw + tUiScale::Px(5);
    draw_label(lx, y(), x() + w() - lx, h());
}

// --- choice ----------------------------------------------------------------------------------

tSkinChoice::tSkinChoice(int x, int y, int w, int h, const char* label)
    : Fl_Choice(x, y, w, h, label) {
    box(FL_UP_BOX);
    down_box(FL_FLAT_BOX);
    color(tSkin::Panel());
    textcolor(tSkin::Text());
    labelcolor(tSkin::Text());
    selection_color(tSkin::Highlight());
}

void tSkinChoice::draw() {
    const bool on = active_r() != 0;
    fl_draw_box(FL_DOWN_BOX, x(), y(), w(), h(), tSkin::Field());
    // The arrow at the right.
    const int a = std::max(4, h() / 4);
    const int ax = x() + w() - a - tUiScale::Px(5);
    const int ay = y() + h() / 2 - a / 2;
    fl_color(Faded(tSkin::Gold(), on));
    fl_polygon(ax - a, ay, ax + a, ay, ax, ay + a);
    if (const Fl_Menu_Item* item = mvalue()) {
        fl_font(textfont(), textsize());
        fl_color(Faded(textcolor(), on));
        fl_push_clip(x() + 2, y(), w() - 2 * a - tUiScale::Px(8), h());
        fl_draw(item->label(), x() + tUiScale::Px(4), y(), w(), h(), FL_ALIGN_LEFT);
        fl_pop_clip();
    }
    if (Fl::focus() == this && Fl::visible_focus()) {
        fl_color(tSkin::Amber());
        fl_rect(x(), y(), w(), h());
    }
}

// --- menu button ------------------------------------------------------------------------------

tSkinMenuButton::tSkinMenuButton(int x, int y, int w, int h, const char* label)
    : Fl_Menu_Button(x, y, w, h, label) {
    tSkin::StyleMenu(*this);
    box(FL_UP_BOX);
}

void tSkinMenuButton::draw() {
    fl_draw_box(box(), x(), y(), w(), h(), tSkin::Panel());
    const int a = std::max(3, std::min(w(), h()) / 4);
    const int ax = x() + w() / 2, ay = y() + h() / 2 - a / 2;
    fl_color(active_r() ? tSkin::Gold() : tSkin::DimText());
    fl_polygon(ax - a, ay, ax + a, ay, ax, ay + a);
}
