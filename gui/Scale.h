// The size of everything on screen: one factor (1 at 100 %, 1.5, 2 at 200 %) that every
// window, widget, font and drawing is multiplied by.
//
// The toolkit has no scaling of its own, so the windows are laid out at factor 1 (the sizes
// the program was designed at) and ScaleWindow() multiplies a finished window once: every
// widget's box, label and text size. Drawing code and widgets placed later (module icons,
// keyboard keys) ask Px() for their sizes. The factor is chosen before the first window is
// built and stays for the life of the process.
#pragma once

class Fl_Widget;
class Fl_Window;

namespace tUiScale {

constexpr double kMinFactor = 1.0;
constexpr double kMaxFactor = 3.0;

double Factor();
// Sets the factor used by every window built from now on (limited to kMinFactor..kMaxFactor),
// with the tooltip size and scroll bar width that go with it.
void SetFactor(double factor);

// A length of the factor-1 layout in pixels now, and back.
int Px(double logical);
int ToLogical(int pixels);
// A box edge: edges are scaled, so that boxes that touch at factor 1 still touch.
inline int Width(int x, int w) {
    return Px(x + w) - Px(x);
}

// Multiplies a window built at factor 1: its size, every child's box, label size and text size.
void ScaleWindow(Fl_Window& window);
// The same for one widget (and the children of a group) added to a window already scaled.
void ScaleWidget(Fl_Widget& widget);

// The factor given by the text of the environment variable KELVORA_SCALE: a factor ("1.5") or
// a percentage ("150", "150%"); 0 when the text is empty or no usable factor.
double ParseFactor(const char* text);
// The factor the program starts with: KELVORA_SCALE when it holds a usable factor, else the
// percentage the rc file keeps.
double StartFactor(int rcPercent);

} // namespace tUiScale
