// One look for every window: a dark panel skin drawn by our own code.
//
// Apply() sets the toolkit's colour map (background, text, fields, selection) and replaces
// the drawing of the standard box types (raised, sunken, thin, engraved, frames), so every
// widget of every window, the toolkit's own dialogs included, is drawn in the same skin. The
// panel and window boxes, the colours and the styling helpers below give groups, menus and
// labels the look of the main window's artwork.
#pragma once

#include <FL/Enumerations.H>

class Fl_Widget;
class Fl_Group;
class Fl_Menu_;
class Fl_Window;

namespace tSkin {

// Colours (toolkit colour values).
Fl_Color Background(); // windows and panels
Fl_Color Panel();      // a group's face, a little lighter than the window
Fl_Color Field();      // text fields, grooves, meters
Fl_Color Text();       // labels and values
Fl_Color DimText();    // secondary text
Fl_Color Gold();       // titles, slider fill
Fl_Color Amber();      // accents
Fl_Color Highlight();  // the chosen item of a menu (bright enough to keep its text readable)
Fl_Color LampOn();     // switches and lamps that are on
Fl_Color Edge();       // dark outlines

// Box types of our own: a group's framed panel and a window's brushed background.
Fl_Boxtype PanelBox();
Fl_Boxtype WindowBox();

// Once per process, before the first window is built.
void Apply();

// The window's background box and colour.
void StyleWindow(Fl_Window& window);
// A framed panel with its title in gold.
void StylePanel(Fl_Group& group);
// A menu bar or menu button: dark face, light text, amber selection.
void StyleMenu(Fl_Menu_& menu);
// The label type of menu items spaced at the UI scale.
Fl_Labeltype MenuLabel();
// A menu's items spaced apart at the UI scale (call once its items are complete).
void SpaceMenuItems(Fl_Menu_& menu);
// Plain text on the panel (label boxes, captions).
void StyleLabel(Fl_Widget& widget, int size, bool bold = false);
// A push button.
void StyleButton(Fl_Widget& widget);

// Drawing helpers shared by the skinned widgets and the artwork.
void VerticalGradient(int x, int y, int w, int h, Fl_Color top, Fl_Color bottom);
Fl_Color Mix(Fl_Color a, Fl_Color b, double t);
// A filled rectangle with rounded corners of radius r.
void RoundedRect(int x, int y, int w, int h, int r, Fl_Color fill);

} // namespace tSkin
