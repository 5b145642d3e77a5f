// Kelvora without a window (-x): no display is opened. Audio goes on at once through the
// configured system (under a session manager, when the session opens), the rack file named on
// the command line is loaded first, and MIDI comes from the usual sources. The program runs
// until SIGINT or SIGTERM, then switches audio off and ends with status 0. Every message is
// one line on standard error.
#pragma once

#include "app/Session.h"

#include <string>

class tProgram;
class tRack;

// The rack as the headless program keeps it: loaded and saved as files, changed when its
// saved text differs from the last one loaded, saved or cleared.
class tHeadlessRack : public tSessionDocument {
public:
    explicit tHeadlessRack(tRack& rack);
    bool Load(const std::string& path, std::string& error) override;
    void Clear() override;
    bool Save(const std::string& path, std::string& error) override;
    bool Changed() override;

private:
    std::string Text();

    tRack& mRack;
    std::string mSaved;
};

// The program's life after Start; returns its exit status.
int RunHeadless(tProgram& program, const std::string& executable);
