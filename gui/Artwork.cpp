#include "gui/Artwork.h"

#include "gui/Scale.h"

#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A length of the pictures' factor-1 design in pixels.
int S(double v) {
    return tUiScale::Px(v);
}

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
    fl_pie(cx - S(3), cy - S(3), S(7), S(7), 0, 360);
    fl_color(Rgb({40, 40, 44}));
    fl_line(cx - S(2), cy, cx + S(2), cy);
}

void Jack(int x, int y, bool on) {
    fl_color(Rgb({170, 172, 178}));
    fl_pie(x, y, S(10), S(10), 0, 360);
    fl_color(on ? Rgb({20, 20, 20}) : Rgb({45, 45, 45}));
    fl_pie(x + S(2), y + S(2), S(6), S(6), 0, 360);
}

void Led(int x, int y, bool on, bool bright) {
    // The on/off area is 12 x 14: a round lamp in its middle. A lamp that blinks to call the
    // user shows bright amber.
    fl_color(Rgb({25, 25, 25}));
    fl_pie(x, y + S(1), S(12), S(12), 0, 360);
    fl_color(bright ? Rgb({255, 190, 60}) : on ? Rgb({70, 235, 90}) : Rgb({105, 38, 38}));
    fl_pie(x + S(1), y + S(2), S(10), S(10), 0, 360);
    fl_color(bright ? Rgb({255, 240, 200}) : on ? Rgb({200, 255, 205}) : Rgb({150, 80, 80}));
    fl_pie(x + S(3), y + S(4), S(4), S(3), 0, 360);
}

void StringFace(int x, int y, bool on) {
    // A fretboard with four strings; the top string rings while the module is on.
    const tRgb board = on ? tRgb{72, 42, 22} : tRgb{70, 62, 56};
    fl_color(Rgb(board));
    fl_rectf(x + S(4), y + S(42), S(56), S(18));
    fl_color(on ? Rgb({205, 190, 140}) : Rgb({130, 126, 118}));
    for (int fret = 0; fret < 5; ++fret) fl_yxline(x + S(12 + fret * 11), y + S(42), y + S(59));
    fl_color(on ? Rgb({235, 235, 240}) : Rgb({160, 160, 160}));
    for (int s = 1; s < 4; ++s) fl_xyline(x + S(4), y + S(42 + s * 4 + 1), x + S(59));
    if (on) {
        fl_color(Rgb({255, 230, 120}));
        fl_line_style(FL_SOLID, S(1));
        PluckedWave(x + S(4), x + S(59), y + S(45), S(2.5), 3.0);
        fl_line_style(0);
    } else {
        fl_xyline(x + S(4), y + S(45), x + S(59));
    }
}

void FluteFace(int x, int y, bool on) {
    // A silver tube with its tone holes, and breath at the mouthpiece when on.
    fl_color(on ? Rgb({215, 220, 230}) : Rgb({150, 152, 156}));
    fl_rectf(x + S(6), y + S(47), S(52), S(8));
    fl_color(on ? Rgb({250, 250, 255}) : Rgb({175, 175, 178}));
    fl_xyline(x + S(6), y + S(48), x + S(57));
    fl_color(Rgb({40, 44, 56}));
    fl_xyline(x + S(6), y + S(55), x + S(57));
    fl_rectf(x + S(9), y + S(49), S(3), S(4));
    for (int hole = 0; hole < 6; ++hole)
        fl_pie(x + S(24 + hole * 5), y + S(49), S(4), S(4), 0, 360);
    if (on) {
        fl_color(Rgb({170, 230, 255}));
        for (int i = 0; i < 3; ++i) fl_arc(x + S(4 + i * 4), y + S(39 - i), S(6), S(6), 20, 160);
    }
}

void EffectsFace(int x, int y, bool on) {
    // A small scope screen with a wave, and two knobs.
    fl_color(on ? Rgb({8, 36, 22}) : Rgb({38, 42, 40}));
    fl_rectf(x + S(13), y + S(42), S(30), S(18));
    fl_color(on ? Rgb({110, 255, 150}) : Rgb({110, 120, 112}));
    fl_line_style(FL_SOLID, S(1));
    fl_begin_line();
    for (int i = 0; i <= 28; ++i)
        fl_vertex(x + S(14 + i),
                  y + S(51 - 6.0 * std::sin(i * 2.0 * kPi / 14.0) * (1.0 - i / 40.0)));
    fl_end_line();
    fl_line_style(0);
    for (int knob = 0; knob < 2; ++knob) {
        const int kx = x + S(47);
        const int ky = y + S(42 + knob * 10);
        fl_color(Rgb({30, 30, 30}));
        fl_pie(kx, ky, S(9), S(9), 0, 360);
        fl_color(on ? Rgb({230, 200, 90}) : Rgb({140, 140, 140}));
        fl_pie(kx + S(1), ky + S(1), S(7), S(7), 0, 360);
        fl_color(Rgb({30, 30, 30}));
        fl_line(kx + S(4), ky + S(4), kx + S(2 + knob * 4), ky + S(1));
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
    fl_line_style(FL_SOLID, S(1));
    PluckedWave(x + S(3), x + w - S(4), y + h * 2 / 3, h / 4.0, 4.5);
    fl_line_style(0);
    // The largest type that fits the box.
    int size = h - 4;
    fl_font(FL_HELVETICA_BOLD_ITALIC, size);
    while (size > 6 && fl_width("KELVORA") > w - S(6)) fl_font(FL_HELVETICA_BOLD_ITALIC, --size);
    fl_color(Rgb({20, 20, 24}));
    fl_draw("KELVORA", x + S(1), y + S(1), w, h, FL_ALIGN_CENTER);
    fl_color(Rgb({255, 214, 110}));
    fl_draw("KELVORA", x, y, w, h, FL_ALIGN_CENTER);
    fl_color(Rgb({16, 16, 18}));
    fl_rect(x, y, w, h);
    fl_pop_clip();
}

void DrawLogoWave(int x, int y, int w, int h) {
    // A gold string under the menu titles, fading out to the right.
    const int thickness = S(1);
    for (int i = 0; i < w; ++i) {
        const double fade = 1.0 - static_cast<double>(i) / w;
        fl_color(Rgb({static_cast<int>(60 + 140 * fade), static_cast<int>(58 + 92 * fade),
                      static_cast<int>(54 + 6 * fade)}));
        fl_yxline(x + i, y + h - thickness, y + h - 1);
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
    const int step = S(24), hole = S(2);
    for (int gy = y + S(12); gy < y + h - S(4); gy += step)
        for (int gx = x + S(12); gx < x + w - S(4); gx += step) fl_rectf(gx, gy, hole, hole);
    Screw(x + S(6), y + S(6));
    Screw(x + w - S(7), y + S(6));
    Screw(x + S(6), y + h - S(7));
    Screw(x + w - S(7), y + h - S(7));
    fl_color(Rgb({12, 12, 14}));
    fl_rect(x, y, w, h);
}

void DrawModuleFace(int type, bool on, int x, int y, bool calling) {
    const tRgb base = on ? TypeColour(type) : Dimmed(TypeColour(type));
    const int size = S(64);
    VerticalGradient(x + 1, y + 1, size - 2, size - 2, Scale(base, 1.15), Scale(base, 0.7));
    fl_color(Rgb(Scale(base, 1.45)));
    fl_xyline(x + 1, y + 1, x + size - 2);
    fl_yxline(x + 1, y + 1, y + size - 2);
    fl_color(Rgb({16, 16, 18}));
    fl_rect(x, y, size, size);

    fl_font(FL_HELVETICA_BOLD, S(9));
    fl_color(on ? Rgb({255, 248, 230}) : Rgb({190, 190, 190}));
    fl_draw(TypeMark(type), x + S(4), y + S(4), S(44), S(12), FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Led(x + S(50), y + S(5), on, calling);

    // The channel box: "midi" and the number, at (32, 23), 22 x 14.
    fl_font(FL_HELVETICA, S(9));
    fl_color(on ? Rgb({240, 240, 240}) : Rgb({185, 185, 185}));
    fl_draw("midi", x + S(8), y + S(23), S(23), S(14), FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);

    Jack(x + S(54), y + S(28), on);
    if (type == 3) Jack(x, y + S(28), on);

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
    fl_rectf(x + S(3), y + S(6), S(4), h - S(12));
    fl_rectf(x + w - S(7), y + S(6), S(4), h - S(12));
    fl_color(Rgb({245, 245, 250}));
    for (int s = 0; s < 3; ++s) fl_xyline(x + S(5), y + S(12 + s * 14), x + w - S(5));
    fl_color(Rgb({255, 214, 110}));
    fl_line_style(FL_SOLID, S(2));
    PluckedWave(x + S(5), x + w - S(5), y + S(26), S(7.0), 2.0);
    fl_line_style(0);
    fl_color(Rgb({20, 12, 6}));
    fl_rect(x, y, w, h);
}

void DrawFlutePicture(int x, int y, int w, int h) {
    VerticalGradient(x, y, w, h, {50, 70, 110}, {22, 30, 52});
    // The tube runs from the lower left to the upper right.
    fl_color(Rgb({215, 220, 232}));
    fl_line_style(FL_SOLID | FL_CAP_ROUND, S(7));
    fl_line(x + S(10), y + h - S(12), x + w - S(12), y + S(14));
    fl_line_style(0);
    fl_color(Rgb({36, 40, 56}));
    for (int hole = 1; hole <= 5; ++hole) {
        const double t = 0.3 + hole * 0.11;
        const int hx = x + S(10) + static_cast<int>((w - S(22)) * t);
        const int hy = y + h - S(12) - static_cast<int>((h - S(26)) * t);
        fl_pie(hx - S(2), hy - S(2), S(4), S(4), 0, 360);
    }
    fl_color(Rgb({170, 230, 255}));
    fl_line_style(FL_SOLID, S(1));
    for (int i = 0; i < 3; ++i) fl_arc(x + S(4 + i * 5), y + S(8 + i * 6), S(12), S(12), 200, 340);
    fl_line_style(0);
    fl_color(Rgb({10, 12, 20}));
    fl_rect(x, y, w, h);
}

void tArtBox::draw() {
    if (box() != FL_NO_BOX) draw_box();
    mPainter(x(), y(), w(), h());
    draw_label();
}
