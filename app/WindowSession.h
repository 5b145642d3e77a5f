// The main window as the session's rack document: the session's rack is loaded, saved and
// cleared through the window, which is shown and hidden on the manager's request.
#pragma once

#include "app/Session.h"

class tMainWindow;

class tWindowDocument : public tSessionDocument {
public:
    explicit tWindowDocument(tMainWindow& window) : mWindow(window) {}
    bool Load(const std::string& path, std::string& error) override;
    void Clear() override;
    bool Save(const std::string& path, std::string& error) override;
    bool Changed() override;
    void ShowGui(bool show) override;

private:
    tMainWindow& mWindow;
};

// Runs the window under the session manager at url until the manager (SIGTERM) or "Exit"
// ends it; returns the exit status.
int RunWindowSession(tMainWindow& window, tSession& session);
