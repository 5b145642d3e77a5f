#include "gui/PianoKeys.h"

#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

// The computer keys: white keys on the home row, black keys above them, from the typing C.
// Per semitone of the first 17 from C: the letter, or 0 where a black key is missing.
constexpr char kSemitoneLetters[18] = {'a', 'w', 's', 'e', 'd', 'f', 't', 'g', 'y',
                                       'h', 'u', 'j', 'k', 'o', 'l', 'p', ';', '\''};
constexpr int kWhiteOffsets[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int kMinVelocity = 20;

} // namespace

tPianoKeys::tPianoKeys(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
    mTyped.fill(-1);
    box(FL_NO_BOX);
}

bool tPianoKeys::IsBlack(int key) {
    switch (key % 12) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

void tPianoKeys::KeyBox(int key, int& kx, int& ky, int& kw, int& kh) const {
    const int offset = key - mFirstKey;
    const int octave = offset / 12;
    const int semitone = offset % 12;
    // The white key at or below the key, counted from the first C.
    int white = octave * 7;
    for (int i = 6; i >= 0; --i)
        if (kWhiteOffsets[i] <= semitone) {
            white += i;
            break;
        }
    const auto edge = [this](int whiteIndex) { return x() + whiteIndex * w() / kWhiteKeys; };
    ky = y();
    if (!IsBlack(key)) {
        kx = edge(white);
        kw = edge(white + 1) - kx;
        kh = h();
        return;
    }
    // Black keys sit across the line after their white key, 0.6 of a white key wide.
    const int boundary = edge(white + 1);
    kw = std::max(3, (w() / kWhiteKeys) * 6 / 10);
    kx = boundary - kw / 2;
    kh = h() * 62 / 100;
}

int tPianoKeys::KeyAt(int px, int py) const {
    if (px < x() || px >= x() + w() || py < y() || py >= y() + h()) return -1;
    const int last = mFirstKey + 12 * kOctaves;
    // Black keys lie on top.
    for (int key = mFirstKey; key < last; ++key) {
        if (!IsBlack(key)) continue;
        int kx, ky, kw, kh;
        KeyBox(key, kx, ky, kw, kh);
        if (px >= kx && px < kx + kw && py >= ky && py < ky + kh) return key;
    }
    for (int key = mFirstKey; key < last; ++key) {
        if (IsBlack(key)) continue;
        int kx, ky, kw, kh;
        KeyBox(key, kx, ky, kw, kh);
        if (px >= kx && px < kx + kw) return key;
    }
    return -1;
}

int tPianoKeys::VelocityAt(int key, int py) const {
    int kx, ky, kw, kh;
    KeyBox(key, kx, ky, kw, kh);
    const double depth = std::clamp((py - ky) / static_cast<double>(std::max(1, kh - 1)), 0.0, 1.0);
    return kMinVelocity + static_cast<int>(depth * (127 - kMinVelocity) + 0.5);
}

char tPianoKeys::TypingLetter(int key) const {
    const int semitone = key - TypingKey();
    if (semitone < 0 || semitone >= static_cast<int>(sizeof kSemitoneLetters)) return 0;
    return kSemitoneLetters[semitone];
}

int tPianoKeys::TypedKey(int letter) const {
    for (int i = 0; i < static_cast<int>(sizeof kSemitoneLetters); ++i)
        if (kSemitoneLetters[i] == letter) return TypingKey() + i;
    return -1;
}

void tPianoKeys::ShiftOctave(int octaves) {
    const int typing = std::clamp(TypingKey() + 12 * octaves, kLowestC, kHighestC);
    if (typing == TypingKey()) return;
    mFirstKey = typing - 12;
    if (mChanged) mChanged();
    redraw();
}

void tPianoKeys::Press(int key, int velocity) {
    if (key < 0 || key > 127) return;
    // A key struck again while it sounds starts again.
    if (mDown[key] != 0 || mHeld[key]) {
        if (mSink) mSink(key, 0);
    }
    ++mDown[key];
    mHeld[key] = mSustain;
    if (mSink) mSink(key, velocity);
    redraw();
}

void tPianoKeys::Release(int key) {
    if (key < 0 || key > 127 || mDown[key] == 0) return;
    --mDown[key];
    if (mDown[key] == 0 && !mSustain) {
        mHeld[key] = false;
        if (mSink) mSink(key, 0);
    }
    redraw();
}

void tPianoKeys::SetSustain(bool on) {
    if (on == mSustain) return;
    mSustain = on;
    if (on) {
        for (int key = 0; key < 128; ++key) mHeld[key] = mDown[key] != 0;
    } else {
        for (int key = 0; key < 128; ++key) {
            if (!mHeld[key]) continue;
            mHeld[key] = false;
            if (mDown[key] == 0 && mSink) mSink(key, 0);
        }
    }
    if (mChanged) mChanged();
    redraw();
}

void tPianoKeys::ReleaseAll() {
    mSustain = false;
    mMouseKey = -1;
    mTyped.fill(-1);
    for (int key = 0; key < 128; ++key) {
        const bool sounding = mDown[key] != 0 || mHeld[key];
        mDown[key] = 0;
        mHeld[key] = false;
        if (sounding && mSink) mSink(key, 0);
    }
    if (mChanged) mChanged();
    redraw();
}

bool tPianoKeys::KeyDown(int letter) {
    if (letter == ' ') {
        SetSustain(true);
        return true;
    }
    if (letter == 'z' || letter == 'x') {
        ShiftOctave(letter == 'z' ? -1 : 1);
        return true;
    }
    const int key = TypedKey(letter);
    if (key < 0) return false;
    if (mTyped[letter] >= 0) return true; // the key repeats while held
    mTyped[letter] = key;
    Press(key, mTypingVelocity);
    return true;
}

bool tPianoKeys::KeyUp(int letter) {
    if (letter == ' ') {
        SetSustain(false);
        return true;
    }
    if (letter < 0 || letter >= 128 || mTyped[letter] < 0) return letter == 'z' || letter == 'x';
    Release(mTyped[letter]);
    mTyped[letter] = -1;
    return true;
}

int tPianoKeys::handle(int event) {
    switch (event) {
    case FL_FOCUS:
    case FL_UNFOCUS:
        return 1;
    case FL_KEYDOWN:
    case FL_KEYUP: {
        // Shortcuts (Ctrl+K, Ctrl+Q ...) and Escape go on to the windows.
        if (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) return 0;
        const int key = Fl::event_key();
        if (key <= 0 || key >= 128) return 0;
        const int letter = std::tolower(key);
        return event == FL_KEYDOWN ? KeyDown(letter) : KeyUp(letter);
    }
    case FL_PUSH: {
        if (Fl::focus() != this) take_focus();
        const int key = KeyAt(Fl::event_x(), Fl::event_y());
        if (key < 0) return 1;
        mMouseKey = key;
        Press(key, VelocityAt(key, Fl::event_y()));
        return 1;
    }
    case FL_DRAG: {
        const int key = KeyAt(Fl::event_x(), Fl::event_y());
        if (key == mMouseKey) return 1;
        Release(mMouseKey);
        mMouseKey = key;
        if (key >= 0) Press(key, VelocityAt(key, Fl::event_y()));
        return 1;
    }
    case FL_RELEASE:
        Release(mMouseKey);
        mMouseKey = -1;
        return 1;
    default:
        return Fl_Widget::handle(event);
    }
}

void tPianoKeys::draw() {
    const int last = mFirstKey + 12 * kOctaves;
    const Fl_Color lit = tSkin::Amber();
    fl_color(tSkin::Edge());
    fl_rectf(x(), y(), w(), h());
    for (int pass = 0; pass < 2; ++pass) {
        for (int key = mFirstKey; key < last; ++key) {
            if (IsBlack(key) != (pass == 1)) continue;
            int kx, ky, kw, kh;
            KeyBox(key, kx, ky, kw, kh);
            const bool sounding = mDown[key] != 0 || mHeld[key];
            if (!IsBlack(key)) {
                tSkin::VerticalGradient(kx + 1, ky, kw - 2, kh - 1,
                                        sounding ? lit : fl_rgb_color(226, 226, 220),
                                        sounding ? tSkin::Gold() : fl_rgb_color(250, 250, 246));
                if (key % 12 == 0) {
                    fl_font(FL_HELVETICA, tUiScale::Px(10));
                    fl_color(fl_rgb_color(120, 120, 124));
                    const std::string name = "C" + std::to_string(key / 12 - 1);
                    fl_draw(name.c_str(), kx, ky + kh - tUiScale::Px(16), kw, tUiScale::Px(14),
                            FL_ALIGN_CENTER);
                }
            } else {
                fl_color(tSkin::Edge());
                fl_rectf(kx, ky, kw, kh);
                tSkin::VerticalGradient(kx + 1, ky, kw - 2, kh - 2,
                                        sounding ? lit : fl_rgb_color(58, 58, 64),
                                        sounding ? tSkin::Amber() : fl_rgb_color(22, 22, 26));
            }
            if (const char letter = TypingLetter(key)) {
                const char text[2] = {static_cast<char>(std::toupper(letter)), '\0'};
                fl_font(FL_HELVETICA_BOLD, tUiScale::Px(11));
                fl_color(IsBlack(key) ? fl_rgb_color(230, 200, 120) : fl_rgb_color(150, 110, 40));
                const int ty =
                    IsBlack(key) ? ky + kh - tUiScale::Px(16) : ky + kh - tUiScale::Px(32);
                fl_draw(text, kx, ty, kw, tUiScale::Px(14), FL_ALIGN_CENTER);
            }
        }
    }
}
