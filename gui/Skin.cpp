#include "gui/Skin.h"

#include "gui/Scale.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Tooltip.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace {

constexpr Fl_Boxtype kPanelBox = FL_FREE_BOXTYPE;
constexpr Fl_Boxtype kWindowBox = static_cast<Fl_Boxtype>(FL_FREE_BOXTYPE + 1);

struct tRgb {
    int r, g, b;
};

tRgb Components(Fl_Color c) {
    uchar r = 0, g = 0, b = 0;
    Fl::get_color(c, r, g, b);
    return {r, g, b};
}

Fl_Color Rgb(int r, int g, int b) {
    return fl_rgb_color(static_cast<uchar>(std::clamp(r, 0, 255)),
                        static_cast<uchar>(std::clamp(g, 0, 255)),
                        static_cast<uchar>(std::clamp(b, 0, 255)));
}

Fl_Color Lighter(Fl_Color c, int amount) {
    const tRgb v = Components(c);
    return Rgb(v.r + amount, v.g + amount, v.b + amount);
}

// Raised: a face lighter at the top, a dark outline and a highlight along the top edge.
void UpBox(int x, int y, int w, int h, Fl_Color c) {
    tSkin::VerticalGradient(x + 1, y + 1, w - 2, h - 2, Lighter(c, 30), Lighter(c, 6));
    fl_color(Lighter(c, 52));
    fl_xyline(x + 1, y + 1, x + w - 2);
    fl_color(tSkin::Edge());
    fl_rect(x, y, w, h);
}

void UpFrame(int x, int y, int w, int h, Fl_Color c) {
    fl_color(Lighter(c, 52));
    fl_xyline(x + 1, y + 1, x + w - 2);
    fl_color(tSkin::Edge());
    fl_rect(x, y, w, h);
}

// Sunken: a flat face, a dark outline with a shadow inside at the top, a faint light below.
void DownBox(int x, int y, int w, int h, Fl_Color c) {
    fl_color(c);
    fl_rectf(x + 1, y + 1, w - 2, h - 2);
    fl_color(Lighter(c, -14));
    fl_xyline(x + 1, y + 1, x + w - 2);
    fl_color(tSkin::Edge());
    fl_rect(x, y, w, h);
    fl_color(Lighter(tSkin::Background(), 22));
    fl_xyline(x + 1, y + h - 1, x + w - 2);
}

void DownFrame(int x, int y, int w, int h, Fl_Color) {
    fl_color(tSkin::Edge());
    fl_rect(x, y, w, h);
    fl_color(Lighter(tSkin::Background(), 22));
    fl_xyline(x + 1, y + h - 1, x + w - 2);
}

// A groove: a dark line with a light one inside.
void EngravedFrame(int x, int y, int w, int h, Fl_Color) {
    fl_color(tSkin::Edge());
    fl_rect(x, y, w - 1, h - 1);
    fl_color(Lighter(tSkin::Background(), 26));
    fl_rect(x + 1, y + 1, w - 1, h - 1);
}

void EngravedBox(int x, int y, int w, int h, Fl_Color c) {
    fl_color(c);
    fl_rectf(x + 2, y + 2, w - 4, h - 4);
    EngravedFrame(x, y, w, h, c);
}

// A group's panel: a rounded face a little lighter than the window, outlined in dark, with a
// thin highlight along its top.
void PanelBoxDraw(int x, int y, int w, int h, Fl_Color c) {
    const int r = tUiScale::Px(5);
    tSkin::RoundedRect(x, y, w, h, r, tSkin::Edge());
    tSkin::RoundedRect(x + 1, y + 1, w - 2, h - 2, r - 1, Lighter(c, 10));
    tSkin::RoundedRect(x + 2, y + 2, w - 4, h - 4, std::max(1, r - 2), c);
}

void WindowBoxDraw(int x, int y, int w, int h, Fl_Color c) {
    tSkin::VerticalGradient(x, y, w, h, Lighter(c, 14), Lighter(c, -10));
}

// Menu items: the toolkit leaves a fixed 16 pixels around a menu bar's titles (and a few
// beside an item's text) whatever the font; this label type adds what the UI scale adds to
// those pixels, split on both sides.
constexpr Fl_Labeltype kMenuTitleLabel = FL_FREE_LABELTYPE;
constexpr int kTitleGap = 16;

int TitlePadding() {
    return std::max(0, tUiScale::Px(kTitleGap) - kTitleGap);
}

void MenuTitleDraw(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    const int pad = TitlePadding();
    fl_font(label->font, label->size);
    fl_color(label->color);
    fl_draw(label->value, x + pad / 2, y, w - pad, h, align);
}

void MenuTitleMeasure(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h);
    w += TitlePadding();
}

// Our own box types exist before anything uses them, skin applied or not.
void RegisterBoxTypes() {
    static const bool registered = [] {
        Fl::set_boxtype(kPanelBox, PanelBoxDraw, 2, 2, 4, 4);
        Fl::set_boxtype(kWindowBox, WindowBoxDraw, 0, 0, 0, 0);
        Fl::set_labeltype(kMenuTitleLabel, MenuTitleDraw, MenuTitleMeasure);
        return true;
    }();
    (void)registered;
}

} // namespace

namespace tSkin {

Fl_Color Background() {
    return Rgb(46, 47, 52);
}
Fl_Color Panel() {
    return Rgb(57, 59, 65);
}
Fl_Color Field() {
    return Rgb(24, 25, 29);
}
Fl_Color Text() {
    return Rgb(234, 234, 228);
}
Fl_Color DimText() {
    return Rgb(170, 172, 168);
}
Fl_Color Gold() {
    return Rgb(255, 214, 110);
}
Fl_Color Amber() {
    return Rgb(200, 150, 60);
}
Fl_Color Highlight() {
    return Rgb(232, 178, 74);
}
Fl_Color LampOn() {
    return Rgb(120, 240, 110);
}
Fl_Color Edge() {
    return Rgb(16, 16, 19);
}

Fl_Boxtype PanelBox() {
    RegisterBoxTypes();
    return kPanelBox;
}
Fl_Boxtype WindowBox() {
    RegisterBoxTypes();
    return kWindowBox;
}

void Apply() {
    Fl::background(46, 47, 52);
    Fl::background2(24, 25, 29);
    Fl::foreground(234, 234, 228);
    Fl::set_color(FL_SELECTION_COLOR, 200, 150, 60);
    Fl::set_color(FL_INACTIVE_COLOR, 110, 112, 116);
    Fl::set_boxtype(FL_UP_BOX, UpBox, 2, 2, 4, 4);
    Fl::set_boxtype(FL_DOWN_BOX, DownBox, 2, 2, 4, 4);
    Fl::set_boxtype(FL_THIN_UP_BOX, UpBox, 1, 1, 2, 2);
    Fl::set_boxtype(FL_THIN_DOWN_BOX, DownBox, 1, 1, 2, 2);
    Fl::set_boxtype(FL_UP_FRAME, UpFrame, 2, 2, 4, 4);
    Fl::set_boxtype(FL_DOWN_FRAME, DownFrame, 2, 2, 4, 4);
    Fl::set_boxtype(FL_THIN_UP_FRAME, UpFrame, 1, 1, 2, 2);
    Fl::set_boxtype(FL_THIN_DOWN_FRAME, DownFrame, 1, 1, 2, 2);
    Fl::set_boxtype(FL_ENGRAVED_BOX, EngravedBox, 2, 2, 4, 4);
    Fl::set_boxtype(FL_ENGRAVED_FRAME, EngravedFrame, 2, 2, 4, 4);
    RegisterBoxTypes();
    Fl_Tooltip::color(Rgb(34, 35, 40));
    Fl_Tooltip::textcolor(Rgb(255, 226, 150));
    Fl_Tooltip::hoverdelay(0.3f);
}

void StyleWindow(Fl_Window& window) {
    window.box(WindowBox());
    window.color(Background());
}

void StylePanel(Fl_Group& group) {
    group.box(PanelBox());
    group.color(Panel());
    group.labelcolor(Gold());
    group.labelfont(FL_HELVETICA_BOLD);
}

void StyleMenu(Fl_Menu_& menu) {
    menu.box(FL_FLAT_BOX);
    menu.down_box(FL_FLAT_BOX);
    menu.color(Rgb(58, 60, 66));
    menu.textcolor(Text());
    menu.selection_color(Highlight());
}

Fl_Labeltype MenuLabel() {
    RegisterBoxTypes();
    return kMenuTitleLabel;
}

void SpaceMenuItems(Fl_Menu_& menu) {
    RegisterBoxTypes();
    const int count = menu.size();
    for (int i = 0; i < count; ++i) {
        const Fl_Menu_Item* item = menu.menu() + i;
        if (item->label() != nullptr) const_cast<Fl_Menu_Item*>(item)->labeltype(kMenuTitleLabel);
    }
}

void StyleLabel(Fl_Widget& widget, int size, bool bold) {
    widget.labelcolor(Text());
    widget.labelsize(size);
    if (bold) widget.labelfont(FL_HELVETICA_BOLD);
}

void StyleButton(Fl_Widget& widget) {
    widget.box(FL_UP_BOX);
    widget.color(Rgb(66, 68, 76));
    widget.selection_color(Rgb(110, 190, 110));
    widget.labelcolor(Text());
}

void VerticalGradient(int x, int y, int w, int h, Fl_Color top, Fl_Color bottom) {
    if (w <= 0 || h <= 0) return;
    const tRgb a = Components(top), b = Components(bottom);
    for (int i = 0; i < h; ++i) {
        const double t = h > 1 ? static_cast<double>(i) / (h - 1) : 0.0;
        fl_color(Rgb(static_cast<int>(a.r + (b.r - a.r) * t),
                     static_cast<int>(a.g + (b.g - a.g) * t),
                     static_cast<int>(a.b + (b.b - a.b) * t)));
        fl_xyline(x, y + i, x + w - 1);
    }
}

Fl_Color Mix(Fl_Color a, Fl_Color b, double t) {
    const tRgb x = Components(a), y = Components(b);
    return Rgb(static_cast<int>(std::lround(x.r + (y.r - x.r) * t)),
               static_cast<int>(std::lround(x.g + (y.g - x.g) * t)),
               static_cast<int>(std::lround(x.b + (y.b - x.b) * t)));
}

void RoundedRect(int x, int y, int w, int h, int r, Fl_Color fill) {
    if (w <= 0 || h <= 0) return;
    r = std::clamp(r, 0, std::min(w, h) / 2);
    fl_color(fill);
    if (r <= 1) {
        fl_rectf(x, y, w, h);
        return;
    }
    fl_rectf(x + r, y, w - 2 * r, h);
    fl_rectf(x, y + r, r, h - 2 * r);
    fl_rectf(x + w - r, y + r, r, h - 2 * r);
    const int d = 2 * r;
    fl_pie(x, y, d, d, 90, 180);
    fl_pie(x + w - d, y, d, d, 0, 90);
    fl_pie(x, y + h - d, d, d, 180, 270);
    fl_pie(x + w - d, y + h - d, d, d, 270, 360);
}

} // namespace tSkin
