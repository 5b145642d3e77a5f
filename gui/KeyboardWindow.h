// The keyboard window (Options -> "Keyboard", Ctrl+K): a piano keyboard of three octaves that
// plays notes on a chosen MIDI channel with the mouse and the computer keyboard, for a user
// without a MIDI device. Its notes enter the rack through the same event path as MIDI.
//
// Above the keys: the MIDI channel, the velocity the computer keys strike with, the octave
// buttons and a lamp that shows the sustain (space bar). Closing the window ends its notes.
#pragma once

#include <memory>

class tMidiSink;
class tPianoKeys;
class Fl_Box;
class Fl_Button;
class Fl_Choice;
class Fl_Double_Window;
class Fl_Value_Slider;

class tKeyboardWindow {
public:
    // Notes go to sink (the rack).
    explicit tKeyboardWindow(tMidiSink& sink);
    ~tKeyboardWindow();
    tKeyboardWindow(const tKeyboardWindow&) = delete;
    tKeyboardWindow& operator=(const tKeyboardWindow&) = delete;

    // Shows the window, raised, with the keys holding the keyboard focus.
    void Show();
    // Hides it; every note it plays ends.
    void Hide();
    bool IsShown() const;

    // 0..15.
    int Channel() const;
    void SetChannel(int channel);

    Fl_Double_Window& Window() { return *mWindow; }
    tPianoKeys& Keys() { return *mKeys; }
    Fl_Choice& ChannelChoice() { return *mChannel; }

private:
    void Note(int key, int velocity);
    void ShowState();

    tMidiSink& mSink;
    std::unique_ptr<Fl_Double_Window> mWindow;
    tPianoKeys* mKeys = nullptr;
    Fl_Choice* mChannel = nullptr;
    Fl_Value_Slider* mVelocity = nullptr;
    Fl_Box* mOctave = nullptr;
    Fl_Button* mSustain = nullptr;
    int mPlayingChannel = 0;
};
