#include "gui/AboutWindow.h"

#include "gui/Artwork.h"
#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>

namespace {

void Dismiss(Fl_Widget*, void* window) {
    static_cast<Fl_Window*>(window)->hide();
}

} // namespace

tAboutWindow::tAboutWindow() {
    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = std::make_unique<Fl_Window>(364, 229, "About");
    tSkin::StyleWindow(*mWindow);
    auto* title = new Fl_Box(2, 12, 360, 13, "Kelvora v1.6.8");
    tSkin::StyleLabel(*title, 14, true);
    title->labelcolor(tSkin::Gold());
    new tArtBox(16, 24, 59, 55, DrawStringPicture);
    auto* what =
        new Fl_Box(73, 37, 215, 43, "Realtime software Midi synthesizer with ALSA v0.9 support.");
    what->align(FL_ALIGN_WRAP | FL_ALIGN_INSIDE);
    tSkin::StyleLabel(*what, 12);
    auto* motto = new Fl_Box(2, 83, 360, 15, "Strings to pluck, flutes to blow, all in real time.");
    tSkin::StyleLabel(*motto, 12);
    motto->labelfont(FL_HELVETICA_ITALIC);
    motto->labelcolor(tSkin::DimText());
    new tArtBox(291, 7, 65, 79, DrawFlutePicture);
    // The word mark between the text and the button.
    new tArtBox(92, 116, 180, 44, DrawLogo);
    auto* dismiss = new Fl_Button(156, 196, 60, 25, "Dismiss");
    tSkin::StyleButton(*dismiss);
    dismiss->labelsize(13);
    dismiss->callback(Dismiss, mWindow.get());
    mWindow->end();
    tUiScale::ScaleWindow(*mWindow);
    Fl_Group::current(outer);
}

tAboutWindow::~tAboutWindow() = default;

void tAboutWindow::Show() {
    mWindow->show();
}

void tAboutWindow::Hide() {
    mWindow->hide();
}
