// The MIDI controller mapping windows: one for all string modules and one for all flute
// modules, each made by the first editor of its type and kept while any editor of that type
// holds it. The read-only "output:" field scrolls (mouse wheel and scroll bar), so every row
// can be seen.
#pragma once

#include <memory>
#include <string>

class Fl_Window;
class Fl_Text_Buffer;
class Fl_Text_Display;

class tMappingWindow {
public:
    // A hidden window w x h titled title, showing text in its read-only "output:" field.
    tMappingWindow(const char* title, int w, int h, const std::string& text);
    ~tMappingWindow();
    tMappingWindow(const tMappingWindow&) = delete;
    tMappingWindow& operator=(const tMappingWindow&) = delete;

    void Show();
    void Hide();
    bool IsShown() const;
    Fl_Window& Window() { return *mWindow; }
    Fl_Text_Display& Output() { return *mOutput; }
    std::string Text() const;
    // Whether the text's last line is in view now.
    bool LastLineShown() const;

private:
    std::unique_ptr<Fl_Window> mWindow;
    std::unique_ptr<Fl_Text_Buffer> mBuffer;
    Fl_Text_Display* mOutput = nullptr;
};

// The texts the windows show.
std::string StringMappingText();
std::string FluteMappingText();

// The shared windows ("String Synth Midi Controller Mapping", "Flute Synth Midi Controller
// Mapping"); made on first use, destroyed with the last holder.
std::shared_ptr<tMappingWindow> StringMappingWindow();
std::shared_ptr<tMappingWindow> FluteMappingWindow();
