// A New Session Manager client: OSC over UDP (liblo) with the session manager whose address
// NSM_URL holds.
//
// The program announces itself (name, capabilities, executable, API 1.2, process id); the
// manager answers, then tells it to open a session (a directory for its files, a display name
// and the client id, which is also its JACK client name) and, later, to save it, to show or to
// hide its window. Each of these goes to the handler; open and save are answered with a reply
// or an error. The program tells the manager whether its document changed since the last save
// (dirty, clean) and whether its window is shown. The manager ends the program with SIGTERM.
//
// Everything runs on the thread that calls Poll (the GUI thread, or the headless main loop):
// the socket is read only there, and the handler is called only from there.
#pragma once

#include <string>

class tNsmClient {
public:
    static constexpr const char* kUrlVariable = "NSM_URL";
    static constexpr int kApiMajor = 1;
    static constexpr int kApiMinor = 2;
    // The manager's error codes the program answers with.
    static constexpr int kErrorGeneral = -1;
    static constexpr int kErrorNoSessionOpen = -6;
    static constexpr int kErrorCreateFailed = -10;

    class tHandler {
    public:
        // Opens the session whose files live under path (a directory); message tells the
        // manager what happened. False: the open failed.
        virtual bool Open(const std::string& path, const std::string& displayName,
                          const std::string& clientId, std::string& message) = 0;
        // Saves the session without asking anybody.
        virtual bool Save(std::string& message) = 0;
        virtual void ShowGui(bool show) = 0;

    protected:
        ~tHandler() = default;
    };

    explicit tNsmClient(tHandler& handler);
    ~tNsmClient();
    tNsmClient(const tNsmClient&) = delete;
    tNsmClient& operator=(const tNsmClient&) = delete;

    // Opens a socket and sends the announcement to the manager at url. False, after a
    // message on standard error, when the url or the socket cannot be used.
    bool Announce(const std::string& url, const std::string& name, const std::string& capabilities,
                  const std::string& executable);
    // The socket to wait on, -1 before Announce.
    int Fd() const;
    // Handles the messages that have arrived, waiting up to timeoutMs for the first.
    void Poll(int timeoutMs = 0);

    // Tell the manager, when it differs from what it was last told.
    void SetDirty(bool dirty);
    void SetGuiShown(bool shown);

    bool Announced() const { return mAnnounced; }
    bool SessionOpen() const { return mOpen; }
    const std::string& ManagerName() const { return mManager; }

    // liblo's callbacks (NsmClient.cpp).
    struct tEntries;

private:
    void Send(const char* path);
    void Reply(const char* path, bool ok, int code, const std::string& message);

    tHandler& mHandler;
    void* mServer = nullptr;         // liblo's lo_server
    void* mManagerAddress = nullptr; // lo_address
    bool mAnnounced = false;
    bool mOpen = false;
    std::string mManager;
    int mDirty = -1;    // last told: -1 nothing yet
    int mGuiShown = -1; // last told
};
