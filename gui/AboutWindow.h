// The About window (File -> "About"): the program's name and version, what it is, a motto,
// two pictures and "Dismiss".
#pragma once

#include <memory>

class Fl_Window;

class tAboutWindow {
public:
    tAboutWindow();
    ~tAboutWindow();
    tAboutWindow(const tAboutWindow&) = delete;
    tAboutWindow& operator=(const tAboutWindow&) = delete;

    void Show();
    void Hide();
    Fl_Window* Window() const { return mWindow.get(); }

private:
    std::unique_ptr<Fl_Window> mWindow;
};
