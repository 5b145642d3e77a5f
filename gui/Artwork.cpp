#include "gui/Artwork.h"

#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct tRgb {
    int r, g, b;
};

Fl_Color Rgb(tRgb c) {
    return fl_rgb_color(static_cast<uchar>(std::clamp(c.r, 0, 255)),
                        static_cast<uchar>(std::clamp(c.g, 0, 255)),
                        static_cast<uchar>(std::clamp(c.b, 0, 255)));
}

tRgb Scale(tRgb c, double f) {
    return {static_cast<int>(c.r * f), static_cast<int>(c.g * f), static_cast<int>(c.b * f)};
}

// Halfway to a dull grey: the look of a module that is switched off.
tRgb Dimmed(tRgb c) {
    return {(c.r + 70) / 2, (c.g + 70) / 2, (c.b + 72) / 2};
}

void VerticalGradient(int x, int y, int w, int h, tRgb top, tRgb bottom) {
    for (int i = 0; i < h; ++i) {
        const double t = h > 1 ? static_cast<double>(i) / (h - 1) : 0.0;
        fl_color(Rgb({static_cast<int>(top.r + (bottom.r - top.r) * t),
                      static_cast<int>(top.g + (bottom.g - top.g) * t),
                      static_cast<int>(top.b + (bottom.b - top.b) * t)}));
        fl_xyline(x, y + i, x + w - 1);
    }
}

// A sine from (x0, yc) to (x1, yc) with the amplitude fading towards both ends.
void PluckedWave(int x0, int x1, int yc, double amplitude, double cycles) {
    fl_begin_line();
    for (int x = x0; x <= x1; ++x) {
        const double t = static_cast<double>(x - x0) / std::max(1, x1 - x0);
        fl_vertex(x, yc + amplitude * std::sin(kPi * t) * std::sin(2.0 * kPi * cycles * t));
    }
    fl_end_line();
}

void Screw(int cx, int cy) {
    fl_color(Rgb({92, 94, 100}));
    fl_pie(cx - 3, cy - 3, 7, 7, 0, 360);
    fl_color(Rgb({40, 40, 44}));
    fl_line(cx - 2, cy, cx + 2, cy);
}

void Jack(int x, int y, bool on) {
    fl_color(Rgb({170, 172, 178}));
    fl_pie(x, y, 10, 10, 0, 360);
    fl_color(on ? Rgb({20, 20, 20}) : Rgb({45, 45, 45}));
    fl_pie(x + 2, y + 2, 6, 6, 0, 360);
}

void Led(int x, int y, bool on) {
    // The on/off area is 12 x 14: a round lamp in its middle.
    fl_color(Rgb({25, 25, 25}));
    fl_pie(x, y + 1, 12, 12, 0, 360);
    fl_color(on ? Rgb({70, 235, 90}) : Rgb({105, 38, 38}));
    fl_pie(x + 1, y + 2, 10, 10, 0, 360);
    fl_color(on ? Rgb({200, 255, 205}) : Rgb({150, 80, 80}));
    fl_pie(x + 3, y + 4, 4, 3, 0, 360);
}

void StringFace(int x, int y, bool on) {
    // A fretboard with four strings; the top string rings while the module is on.
    const tRgb board = on ? tRgb{72, 42, 22} : tRgb{70, 62, 56};
    fl_color(Rgb(board));
    fl_rectf(x + 4, y + 42, 56, 18);
    fl_color(on ? Rgb({205, 190, 140}) : Rgb({130, 126, 118}));
    for (int fret = 0; fret < 5; ++fret) fl_yxline(x + 12 + fret * 11, y + 42, y + 59);
    fl_color(on ? Rgb({235, 235, 240}) : Rgb({160, 160, 160}));
    for (int s = 1; s < 4; ++s) fl_xyline(x + 4, y + 42 + s * 4 + 1, x + 59);
    if (on) {
        fl_color(Rgb({255, 230, 120}));
        fl_line_style(FL_SOLID, 1);
        PluckedWave(x + 4, x + 59, y + 45, 2.5, 3.0);
    } else {
        fl_xyline(x + 4, y + 45, x + 59);
    }
}

void FluteFace(int x, int y, bool on) {
    // A silver tube with its tone holes, and breath at the mouthpiece when on.
    fl_color(on ? Rgb({215, 220, 230}) : Rgb({150, 152, 156}));
    fl_rectf(x + 6, y + 47, 52, 8);
    fl_color(on ? Rgb({250, 250, 255}) : Rgb({175, 175, 178}));
    fl_xyline(x + 6, y + 48, x + 57);
    fl_color(Rgb({40, 44, 56}));
    fl_xyline(x + 6, y + 55, x + 57);
    fl_rectf(x + 9, y + 49, 3, 4);
    for (int hole = 0; hole < 6; ++hole) fl_pie(x + 24 + hole * 5, y + 49, 4, 4, 0, 360);
    if (on) {
        fl_color(Rgb({170, 230, 255}));
        for (int i = 0; i < 3; ++i) fl_arc(x + 4 + i * 4, y + 39 - i, 6, 6, 20, 160);
    }
}

void EffectsFace(int x, int y, bool on) {
    // A small scope screen with a wave, and two knobs.
    fl_color(on ? Rgb({8, 36, 22}) : Rgb({38, 42, 40}));
    fl_rectf(x + 13, y + 42, 30, 18);
    fl_color(on ? Rgb({110, 255, 150}) : Rgb({110, 120, 112}));
    fl_begin_line();
    for (int i = 0; i <= 28; ++i)
        fl_vertex(x + 14 + i, y + 51 - 6.0 * std::sin(i * 2.0 * kPi / 14.0) * (1.0 - i / 40.0));
    fl_end_line();
    for (int knob = 0; knob < 2; ++knob) {
        const int kx = x + 47;
        const int ky = y + 42 + knob * 10;
        fl_color(Rgb({30, 30, 30}));
        fl_pie(kx, ky, 9, 9, 0, 360);
        fl_color(on ? Rgb({230, 200, 90}) : Rgb({140, 140, 140}));
        fl_pie(kx + 1, ky + 1, 7, 7, 0, 360);
        fl_color(Rgb({30, 30, 30}));
        fl_line(kx + 4, ky + 4, kx + 2 + knob * 4, ky + 1);
    }
}

const char* TypeMark(int type) {
    switch (type) {
    case 1:
        return "STRING";
    case 2:
        return "FLUTE";
    default:
        return "EFFECT";
    }
}

tRgb TypeColour(int type) {
    switch (type) {
    case 1:
        return {168, 104, 52};
    case 2:
        return {66, 104, 158};
    default:
        return {54, 128, 94};
    }
}

} // namespace

void DrawLogo(int x, int y, int w, int h) {
    fl_push_clip(x, y, w, h);
    VerticalGradient(x, y, w, h, {64, 66, 74}, {30, 31, 36});
    fl_color(Rgb({200, 150, 60}));
    PluckedWave(x + 3, x + w - 4, y + h * 2 / 3, h / 4.0, 4.5);
    // The largest type that fits the box.
    int size = h - 4;
    fl_font(FL_HELVETICA_BOLD_ITALIC, size);
    while (size > 6 && fl_width("KELVORA") > w - 6) fl_font(FL_HELVETICA_BOLD_ITALIC, --size);
    fl_color(Rgb({20, 20, 24}));
    fl_draw("KELVORA", x + 1, y + 1, w, h, FL_ALIGN_CENTER);
    fl_color(Rgb({255, 214, 110}));
    fl_draw("KELVORA", x, y, w, h, FL_ALIGN_CENTER);
    fl_color(Rgb({16, 16, 18}));
    fl_rect(x, y, w, h);
    fl_pop_clip();
}

void DrawLogoWave(int x, int y, int w, int h) {
    // A gold string under the menu titles, fading out to the right.
    for (int i = 0; i < w; ++i) {
        const double fade = 1.0 - static_cast<double>(i) / w;
        fl_color(Rgb({static_cast<int>(60 + 140 * fade), static_cast<int>(58 + 92 * fade),
                      static_cast<int>(54 + 6 * fade)}));
        fl_point(x + i, y + h - 1);
    }
}

void DrawPanel(int x, int y, int w, int h) {
    VerticalGradient(x, y, w, h, {78, 80, 86}, {46, 47, 52});
    fl_color(Rgb({104, 106, 112}));
    fl_xyline(x, y, x + w - 1);
    fl_color(Rgb({28, 28, 32}));
    fl_xyline(x, y + h - 1, x + w - 1);
}

void DrawRackBackground(int x, int y, int w, int h) {
    VerticalGradient(x, y, w, h, {34, 36, 42}, {22, 23, 27});
    // A faint grid of mounting holes.
    fl_color(Rgb({48, 50, 58}));
    for (int gy = y + 12; gy < y + h - 4; gy += 24)
        for (int gx = x + 12; gx < x + w - 4; gx += 24) fl_rectf(gx, gy, 2, 2);
    Screw(x + 6, y + 6);
    Screw(x + w - 7, y + 6);
    Screw(x + 6, y + h - 7);
    Screw(x + w - 7, y + h - 7);
    fl_color(Rgb({12, 12, 14}));
    fl_rect(x, y, w, h);
}

void DrawModuleFace(int type, bool on, int x, int y) {
    const tRgb base = on ? TypeColour(type) : Dimmed(TypeColour(type));
    VerticalGradient(x + 1, y + 1, 62, 62, Scale(base, 1.15), Scale(base, 0.7));
    fl_color(Rgb(Scale(base, 1.45)));
    fl_xyline(x + 1, y + 1, x + 62);
    fl_yxline(x + 1, y + 1, y + 62);
    fl_color(Rgb({16, 16, 18}));
    fl_rect(x, y, 64, 64);

    fl_font(FL_HELVETICA_BOLD, 9);
    fl_color(on ? Rgb({255, 248, 230}) : Rgb({190, 190, 190}));
    fl_draw(TypeMark(type), x + 4, y + 4, 44, 12, FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Led(x + 50, y + 5, on);

    // The channel box: "midi" and the number, at (32, 23), 22 x 14.
    fl_font(FL_HELVETICA, 9);
    fl_color(on ? Rgb({240, 240, 240}) : Rgb({185, 185, 185}));
    fl_draw("midi", x + 8, y + 23, 23, 14, FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);

    Jack(x + 54, y + 28, on);
    if (type == 3) Jack(x, y + 28, on);

    switch (type) {
    case 1:
        StringFace(x, y, on);
        break;
    case 2:
        FluteFace(x, y, on);
        break;
    default:
        EffectsFace(x, y, on);
        break;
    }
    fl_line_style(0);
}

void DrawStringPicture(int x, int y, int w, int h) {
    VerticalGradient(x, y, w, h, {90, 56, 30}, {52, 30, 16});
    fl_color(Rgb({230, 210, 160}));
    fl_rectf(x + 3, y + 6, 4, h - 12);
    fl_rectf(x + w - 7, y + 6, 4, h - 12);
    fl_color(Rgb({245, 245, 250}));
    for (int s = 0; s < 3; ++s) fl_xyline(x + 5, y + 12 + s * 14, x + w - 5);
    fl_color(Rgb({255, 214, 110}));
    fl_line_style(FL_SOLID, 2);
    PluckedWave(x + 5, x + w - 5, y + 26, 7.0, 2.0);
    fl_line_style(0);
    fl_color(Rgb({20, 12, 6}));
    fl_rect(x, y, w, h);
}

void DrawFlutePicture(int x, int y, int w, int h) {
    VerticalGradient(x, y, w, h, {50, 70, 110}, {22, 30, 52});
    // The tube runs from the lower left to the upper right.
    fl_color(Rgb({215, 220, 232}));
    fl_line_style(FL_SOLID | FL_CAP_ROUND, 7);
    fl_line(x + 10, y + h - 12, x + w - 12, y + 14);
    fl_line_style(0);
    fl_color(Rgb({36, 40, 56}));
    for (int hole = 1; hole <= 5; ++hole) {
        const double t = 0.3 + hole * 0.11;
        const int hx = x + 10 + static_cast<int>((w - 22) * t);
        const int hy = y + h - 12 - static_cast<int>((h - 26) * t);
        fl_pie(hx - 2, hy - 2, 4, 4, 0, 360);
    }
    fl_color(Rgb({170, 230, 255}));
    for (int i = 0; i < 3; ++i) fl_arc(x + 4 + i * 5, y + 8 + i * 6, 12, 12, 200, 340);
    fl_color(Rgb({10, 12, 20}));
    fl_rect(x, y, w, h);
}

void tArtBox::draw() {
    if (box() != FL_NO_BOX) draw_box();
    mPainter(x(), y(), w(), h());
    draw_label();
}
