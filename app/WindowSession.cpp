#include "app/WindowSession.h"

#include "gui/LoopWatch.h"
#include "gui/MainWindow.h"

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
} // namespace

int RunWindowSession(tMainWindow& window, tSession& session) {
    const tLoopWatch watch(
        session.Client().Fd(), [&session] { session.Poll(); }, kWatchSeconds,
        [&session] { session.Watch(); });
    return window.Run();
}
