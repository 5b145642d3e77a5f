#include "app/WindowSession.h"

#include "gui/MainWindow.h"

#include <FL/Fl.H>

bool tWindowDocument::Load(const std::string& path, std::string& error) {
    if (mWindow.LoadRack(path)) return true;
    error = "The session's rack " + path + " could not be read";
    return false;
}

void tWindowDocument::Clear() {
    mWindow.ClearRack();
}

bool tWindowDocument::Save(const std::string& path, std::string& error) {
    return mWindow.SaveSessionRack(path, error);
}

bool tWindowDocument::Changed() {
    return mWindow.Changed();
}

void tWindowDocument::ShowGui(bool show) {
    mWindow.SetVisible(show);
}

namespace {
constexpr double kWatchSeconds = 0.5;

void Readable(int, void* data) {
    static_cast<tSession*>(data)->Poll();
}

void Watch(void* data) {
    static_cast<tSession*>(data)->Watch();
    Fl::repeat_timeout(kWatchSeconds, Watch, data);
}
} // namespace

int RunWindowSession(tMainWindow& window, tSession& session) {
    Fl::add_fd(session.Client().Fd(), FL_READ, Readable, &session);
    Fl::add_timeout(kWatchSeconds, Watch, &session);
    const int status = window.Run();
    Fl::remove_timeout(Watch, &session);
    Fl::remove_fd(session.Client().Fd());
    return status;
}
