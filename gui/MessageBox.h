// Message boxes in the program's skin: a titled window with an icon, the text and up to three
// buttons. The default button answers Return; Escape and the window's close button answer
// with the cancelling one. A letter a button's label starts with presses it too.
#pragma once

#include <memory>
#include <string>
#include <vector>

class Fl_Window;
class Fl_Button;
class Fl_Widget;

class tMessageBox {
public:
    enum tIcon { kInformation, kWarning, kQuestion };

    tMessageBox(const std::string& title, const std::string& text,
                const std::vector<std::string>& buttons, int defaultButton, int cancelButton,
                tIcon icon);
    ~tMessageBox();
    tMessageBox(const tMessageBox&) = delete;
    tMessageBox& operator=(const tMessageBox&) = delete;

    // Shows the box modally and waits for the answer: the index of the button pressed.
    int Run();

    Fl_Window& Window() { return *mWindow; }
    Fl_Button& Button(int index) { return *mButtons.at(static_cast<std::size_t>(index)); }
    // The answer so far (the cancelling button until one is pressed).
    int Answer() const { return mAnswer; }

private:
    static void Pressed(Fl_Widget* widget, void* self);
    static void Closed(Fl_Widget* widget, void* self);

    std::unique_ptr<Fl_Window> mWindow;
    std::vector<Fl_Button*> mButtons;
    std::string mTitle;
    std::string mText;
    std::vector<std::string> mLabels;
    int mCancel;
    int mAnswer;
};

// The three questions and the message the program asks and tells through the box.
void TellUser(const std::string& message);
bool AskReplace(const std::string& path);
// 0: save, 1: discard, 2: cancel.
int AskSaveChanges(const std::string& what);
