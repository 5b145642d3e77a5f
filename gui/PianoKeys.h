// A piano keyboard drawn and played with the mouse and the computer keyboard.
//
// The keys span kOctaves octaves from a C. The mouse strikes a key (the velocity grows from
// the back of the key, soft, to its front, loud), glides from key to key while held, and lets
// go on release. The computer keyboard plays from the keys' C upwards: the row A S D F G H J K
// L ; ' gives the white keys, W E T Y U O P the black ones between them; Z and X move that C an
// octave down and up; the space bar holds every note struck (sustain) until it is let go.
// Notes go to a callback (key, velocity; velocity 0 ends the note), so whoever holds the
// keyboard decides where they go. Keys sound lit while held.
#pragma once

#include <FL/Fl_Widget.H>

#include <array>
#include <functional>

class tPianoKeys : public Fl_Widget {
public:
    static constexpr int kOctaves = 3;
    static constexpr int kWhiteKeys = kOctaves * 7;
    static constexpr int kLowestC = 12;  // C0
    static constexpr int kHighestC = 96; // C7: the computer keys' C stays within
    using tNoteSink = std::function<void(int key, int velocity)>;

    tPianoKeys(int x, int y, int w, int h);

    void SetSink(tNoteSink sink) { mSink = std::move(sink); }
    // The first key shown (a C) and the C the computer keys start at (shown one octave in).
    int FirstKey() const { return mFirstKey; }
    int TypingKey() const { return mFirstKey + 12; }
    // Moves the keyboard by octaves (+1 up, -1 down), within C0..C7 for the typing C.
    void ShiftOctave(int octaves);
    // The velocity the computer keys strike with, 1..127.
    void SetTypingVelocity(int velocity) { mTypingVelocity = velocity; }
    int TypingVelocity() const { return mTypingVelocity; }
    bool Sustaining() const { return mSustain; }
    bool Sounding(int key) const { return key >= 0 && key < 128 && mDown[key] != 0; }
    // Ends every note (the window closes, the channel changes).
    void ReleaseAll();
    // Calls back after an octave shift or a sustain change, for the window's displays.
    void SetChanged(std::function<void()> changed) { mChanged = std::move(changed); }

    // The key under (x, y) in the widget, or -1; and the velocity a strike there gives.
    int KeyAt(int x, int y) const;
    int VelocityAt(int key, int y) const;
    // The computer key (lower case) that plays key now, or 0.
    char TypingLetter(int key) const;

    int handle(int event) override;

protected:
    void draw() override;

private:
    static bool IsBlack(int key);
    // The key's box: white keys full height, black keys the upper part between two whites.
    void KeyBox(int key, int& x, int& y, int& w, int& h) const;
    void Press(int key, int velocity);
    void Release(int key);
    int TypedKey(int letter) const;
    bool KeyDown(int letter);
    bool KeyUp(int letter);
    void SetSustain(bool on);

    tNoteSink mSink;
    std::function<void()> mChanged;
    int mFirstKey = 48; // C3
    int mTypingVelocity = 100;
    int mMouseKey = -1;
    bool mSustain = false;
    // Per key: how many hands hold it (mouse, computer keys); held under sustain.
    std::array<unsigned char, 128> mDown{};
    std::array<bool, 128> mHeld{};
    // The key each computer letter struck (so an octave shift ends the right one).
    std::array<int, 128> mTyped{};
};
