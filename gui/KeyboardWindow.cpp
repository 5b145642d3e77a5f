#include "gui/KeyboardWindow.h"

#include "core/MidiSink.h"
#include "gui/PianoKeys.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "gui/SkinWidgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

#include <string>

namespace {

constexpr int kWidth = 560;
constexpr int kHeight = 222;

// Controls beside the keys do not take the keyboard focus: the keys keep it, so letters and
// the space bar always play.
template <class tWidget> class tNoFocus : public tWidget {
public:
    using tWidget::tWidget;
    int handle(int event) override {
        if (event == FL_FOCUS) return 0;
        return tWidget::handle(event);
    }
};

// The window ends its notes when it goes, whatever hides it, and gives the focus back to the
// keys after a click on another control (a choice takes it for its menu).
class tKeyboardFrame : public Fl_Double_Window {
public:
    using Fl_Double_Window::Fl_Double_Window;
    tPianoKeys* keys = nullptr;
    void hide() override {
        if (keys) keys->ReleaseAll();
        Fl_Double_Window::hide();
    }
    int handle(int event) override {
        const int used = Fl_Double_Window::handle(event);
        if ((event == FL_PUSH || event == FL_RELEASE) && keys && Fl::focus() != keys && shown())
            keys->take_focus();
        return used;
    }
};

} // namespace

tKeyboardWindow::tKeyboardWindow(tMidiSink& sink) : mSink(sink) {
    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    auto* frame = new tKeyboardFrame(kWidth, kHeight, "Keyboard");
    mWindow.reset(frame);
    tSkin::StyleWindow(*mWindow);

    mChannel = new tNoFocus<tSkinChoice>(98, 10, 50, 22, "MIDI channel");
    mChannel->labelsize(12);
    mChannel->textsize(12);
    for (int channel = 1; channel <= 16; ++channel) mChannel->add(std::to_string(channel).c_str());
    tSkin::SpaceMenuItems(*mChannel);
    mChannel->value(0);
    mChannel->tooltip("The MIDI channel the keyboard plays on: modules with this channel "
                      "in their channel box sound");
    mChannel->callback(
        [](Fl_Widget*, void* self) {
            auto* window = static_cast<tKeyboardWindow*>(self);
            window->mKeys->ReleaseAll();
            window->mPlayingChannel = window->mChannel->value();
        },
        this);

    mVelocity = new tNoFocus<tValueSlider>(160, 10, 130, 22, "key velocity");
    mVelocity->bounds(1, 127);
    mVelocity->step(1);
    mVelocity->value(100);
    mVelocity->labelsize(12);
    mVelocity->textsize(11);
    mVelocity->align(FL_ALIGN_RIGHT);
    mVelocity->tooltip("How hard the computer keys strike; the mouse strikes softly at the back "
                       "of a key and hard at its front");
    mVelocity->callback(
        [](Fl_Widget*, void* self) {
            auto* window = static_cast<tKeyboardWindow*>(self);
            window->mKeys->SetTypingVelocity(static_cast<int>(window->mVelocity->value()));
        },
        this);

    auto* down = new tNoFocus<Fl_Button>(372, 10, 26, 22, "@<");
    auto* up = new tNoFocus<Fl_Button>(446, 10, 26, 22, "@>");
    for (Fl_Button* button : {down, up}) {
        tSkin::StyleButton(*button);
        button->labelsize(11);
        button->labelcolor(tSkin::Gold());
    }
    down->tooltip("An octave down (Z)");
    up->tooltip("An octave up (X)");
    down->callback([](Fl_Widget*, void* keys) { static_cast<tPianoKeys*>(keys)->ShiftOctave(-1); });
    up->callback([](Fl_Widget*, void* keys) { static_cast<tPianoKeys*>(keys)->ShiftOctave(1); });
    mOctave = new Fl_Box(398, 10, 48, 22);
    tSkin::StyleLabel(*mOctave, 12, true);

    mSustain = new Fl_Button(486, 15, 15, 12, "sustain");
    mSustain->box(FL_THIN_DOWN_BOX);
    mSustain->color(fl_rgb_color(52, 58, 52));
    mSustain->selection_color(tSkin::LampOn());
    mSustain->align(FL_ALIGN_RIGHT);
    tSkin::StyleLabel(*mSustain, 12);
    mSustain->set_output();
    mSustain->tooltip("Lit while the space bar holds the notes");

    mKeys = new tPianoKeys(10, 42, kWidth - 20, 150);
    frame->keys = mKeys;
    mKeys->tooltip(nullptr);
    // Down, up: the buttons act on the keys.
    down->user_data(mKeys);
    up->user_data(mKeys);

    auto* help = new Fl_Box(10, 196, kWidth - 20, 20,
                            "Computer keys: A S D F G H J K L ; ' white, W E T Y U O P black, "
                            "Z X octave, space sustain");
    help->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    tSkin::StyleLabel(*help, 11);
    help->labelcolor(tSkin::DimText());
    mWindow->end();
    mWindow->xclass("kvKeyboard");
    tUiScale::ScaleWindow(*mWindow);
    Fl_Group::current(outer);

    mKeys->SetSink([this](int key, int velocity) { Note(key, velocity); });
    mKeys->SetChanged([this] { ShowState(); });
    ShowState();
}

tKeyboardWindow::~tKeyboardWindow() {
    mWindow->hide();
}

void tKeyboardWindow::Note(int key, int velocity) {
    if (velocity > 0)
        mSink.NoteOn(mPlayingChannel, key, velocity);
    else
        mSink.NoteOff(mPlayingChannel, key);
}

void tKeyboardWindow::ShowState() {
    const std::string octave = "C" + std::to_string(mKeys->TypingKey() / 12 - 1);
    mOctave->copy_label(octave.c_str());
    mSustain->value(mKeys->Sustaining() ? 1 : 0);
}

void tKeyboardWindow::Show() {
    mWindow->show();
    mKeys->take_focus();
}

void tKeyboardWindow::Hide() {
    mWindow->hide();
}

bool tKeyboardWindow::IsShown() const {
    return mWindow->shown() != 0 && mWindow->visible() != 0;
}

int tKeyboardWindow::Channel() const {
    return mPlayingChannel;
}

void tKeyboardWindow::SetChannel(int channel) {
    mChannel->value(channel);
    mChannel->do_callback();
}
