#include "gui/AboutWindow.h"

#include "gui/Artwork.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>

namespace {

void Dismiss(Fl_Widget*, void* window) {
    static_cast<Fl_Window*>(window)->hide();
}

} // namespace

tAboutWindow::tAboutWindow() : mWindow(new Fl_Window(364, 229, "About")) {
    auto* title = new Fl_Box(2, 12, 360, 13, "Kelvora v1.6.8");
    title->labelfont(FL_HELVETICA_BOLD);
    title->labelsize(14);
    new tArtBox(16, 24, 59, 55, DrawStringPicture);
    auto* what =
        new Fl_Box(73, 37, 215, 43, "Realtime software Midi synthesizer with ALSA v0.9 support.");
    what->align(FL_ALIGN_WRAP | FL_ALIGN_INSIDE);
    what->labelsize(13);
    auto* motto = new Fl_Box(2, 83, 360, 15, "Strings to pluck, flutes to blow, all in real time.");
    motto->labelfont(FL_HELVETICA_ITALIC);
    motto->labelsize(12);
    new tArtBox(291, 7, 65, 79, DrawFlutePicture);
    auto* dismiss = new Fl_Button(156, 196, 60, 25, "Dismiss");
    dismiss->callback(Dismiss, mWindow.get());
    mWindow->end();
}

tAboutWindow::~tAboutWindow() = default;

void tAboutWindow::Show() {
    mWindow->show();
}

void tAboutWindow::Hide() {
    mWindow->hide();
}
