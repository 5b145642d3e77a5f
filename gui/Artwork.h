// The program's own pictures, drawn with the toolkit's drawing calls: the logo, the window
// backgrounds, the module icons (one picture per module type, on and off) and the About
// window's pictures. Each function draws into the rectangle it is given, with its details at
// the UI scale factor.
#pragma once

#include <FL/Fl_Box.H>

// The "KELVORA" word mark with a string wave under it.
void DrawLogo(int x, int y, int w, int h);
// A gold rule under the menu bar's titles, which are written over the logo's place.
void DrawLogoWave(int x, int y, int w, int h);
// Brushed dark metal behind the rack and the master section.
void DrawPanel(int x, int y, int w, int h);
// The rack area: a dark field between two rails with screw holes.
void DrawRackBackground(int x, int y, int w, int h);
// A module face, 64 x 64 at factor 1: type 1 string, 2 flute, 3 effects; lit or dimmed. A
// calling face shows its lamp bright amber (notes arrive while the module is off).
void DrawModuleFace(int type, bool on, int x, int y, bool calling = false);
// The About window's two pictures: a plucked string, and a flute with its sound wave.
void DrawStringPicture(int x, int y, int w, int h);
void DrawFlutePicture(int x, int y, int w, int h);

// A box that shows one of the pictures above.
class tArtBox : public Fl_Box {
public:
    using tPainter = void (*)(int x, int y, int w, int h);
    tArtBox(int x, int y, int w, int h, tPainter painter, const char* label = nullptr)
        : Fl_Box(x, y, w, h, label), mPainter(painter) {}

protected:
    void draw() override;

private:
    tPainter mPainter;
};
