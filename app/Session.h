// Kelvora under a session manager (NSM_URL set): the session's rack is the file rack.mst in
// the directory the manager gives, loaded when the session opens and written only when the
// manager says "save"; the JACK client takes the client id as its name, and audio goes on when
// the session opens. The rack's changes since the last save are told as dirty and clean; the
// window (when there is one) is shown and hidden on request.
//
// The rack document is the window's, or the headless program's (tSessionDocument): loading,
// saving and whether it changed are theirs.
#pragma once

#include "platform/NsmClient.h"

#include <string>

class tAudioSwitch;
class tJackAudio;

class tSessionDocument {
public:
    // Reads the rack file in place of the rack; false with a message when it could not.
    virtual bool Load(const std::string& path, std::string& error) = 0;
    // An empty rack, for a session without a rack file yet.
    virtual void Clear() = 0;
    // Writes the rack to path; it then counts as unchanged.
    virtual bool Save(const std::string& path, std::string& error) = 0;
    // Whether the rack differs from the one last loaded, saved or cleared.
    virtual bool Changed() = 0;
    // Shows or hides the window; a document without one ignores it.
    virtual void ShowGui(bool) {}

protected:
    ~tSessionDocument() = default;
};

class tSession : private tNsmClient::tHandler {
public:
    static constexpr const char* kRackFile = "rack.mst";
    static constexpr const char* kCapabilities = ":switch:dirty:optional-gui:";
    static constexpr const char* kHeadlessCapabilities = ":switch:dirty:";

    tSession(tSessionDocument& document, tAudioSwitch& audio, tJackAudio& jack);

    // The manager's address from NSM_URL, or empty when the program runs outside a session.
    static std::string ManagerUrl();
    // Announces the program to the manager; withGui: the window can be shown and hidden.
    bool Announce(const std::string& url, const std::string& executable, bool withGui);
    tNsmClient& Client() { return mClient; }
    // The main loop's steps: the messages that arrived; every half second or so, whether the
    // rack changed.
    void Poll(int timeoutMs = 0) { mClient.Poll(timeoutMs); }
    void Watch();
    // The window was shown or hidden (also by the user).
    void GuiShown(bool shown) { mClient.SetGuiShown(shown); }

    const std::string& RackPath() const { return mRackPath; }

private:
    bool Open(const std::string& path, const std::string& displayName, const std::string& clientId,
              std::string& message) override;
    bool Save(std::string& message) override;
    void ShowGui(bool show) override;

    tSessionDocument& mDocument;
    tAudioSwitch& mAudio;
    tJackAudio& mJack;
    tNsmClient mClient{*this};
    std::string mRackPath;
};
