#include "platform/NsmClient.h"

#include <lo/lo.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
void ServerError(int number, const char* message, const char* where) {
    std::fprintf(stderr, "Session manager connection: error %d: %s%s%s\n", number,
                 message != nullptr ? message : "", where != nullptr ? " at " : "",
                 where != nullptr ? where : "");
}
} // namespace

struct tNsmClient::tEntries {
    static tNsmClient& Self(void* data) { return *static_cast<tNsmClient*>(data); }

    static int AnnounceReply(const char*, const char*, lo_arg** argv, int argc, lo_message,
                             void* data) {
        if (argc < 1 || std::strcmp(&argv[0]->s, "/nsm/server/announce") != 0) return 1;
        tNsmClient& self = Self(data);
        self.mAnnounced = true;
        if (argc >= 3) self.mManager = &argv[2]->s;
        std::fprintf(stderr, "Session manager %s: %s\n", self.mManager.c_str(),
                     argc >= 2 ? &argv[1]->s : "");
        // What the window is now, for the manager's optional-GUI button.
        if (self.mGuiShown >= 0) {
            const int shown = self.mGuiShown;
            self.mGuiShown = -1;
            self.SetGuiShown(shown != 0);
        }
        return 0;
    }

    static int AnnounceError(const char*, const char*, lo_arg** argv, int argc, lo_message, void*) {
        if (argc < 3 || std::strcmp(&argv[0]->s, "/nsm/server/announce") != 0) return 1;
        std::fprintf(stderr, "The session manager refused Kelvora: %s\n", &argv[2]->s);
        return 0;
    }

    static int Open(const char*, const char*, lo_arg** argv, int, lo_message, void* data) {
        tNsmClient& self = Self(data);
        std::string message;
        const bool ok = self.mHandler.Open(&argv[0]->s, &argv[1]->s, &argv[2]->s, message);
        if (ok) self.mOpen = true;
        self.Reply("/nsm/client/open", ok, kErrorCreateFailed, message);
        // A session just opened holds what its file holds.
        if (ok) {
            self.mDirty = -1;
            self.SetDirty(false);
        }
        return 0;
    }

    static int Save(const char*, const char*, lo_arg**, int, lo_message, void* data) {
        tNsmClient& self = Self(data);
        if (!self.mOpen) {
            self.Reply("/nsm/client/save", false, kErrorNoSessionOpen, "No session is open.");
            return 0;
        }
        std::string message;
        const bool ok = self.mHandler.Save(message);
        self.Reply("/nsm/client/save", ok, kErrorGeneral, message);
        if (ok) self.SetDirty(false);
        return 0;
    }

    static int Show(const char*, const char*, lo_arg**, int, lo_message, void* data) {
        Self(data).mHandler.ShowGui(true);
        return 0;
    }

    static int Hide(const char*, const char*, lo_arg**, int, lo_message, void* data) {
        Self(data).mHandler.ShowGui(false);
        return 0;
    }

    static int SessionLoaded(const char*, const char*, lo_arg**, int, lo_message, void*) {
        return 0;
    }
};

tNsmClient::tNsmClient(tHandler& handler) : mHandler(handler) {}

tNsmClient::~tNsmClient() {
    if (mManagerAddress != nullptr) lo_address_free(static_cast<lo_address>(mManagerAddress));
    if (mServer != nullptr) lo_server_free(static_cast<lo_server>(mServer));
}

bool tNsmClient::Announce(const std::string& url, const std::string& name,
                          const std::string& capabilities, const std::string& executable) {
    lo_address address = lo_address_new_from_url(url.c_str());
    if (address == nullptr) {
        std::fprintf(stderr, "%s=%s is not an OSC URL; no session.\n", kUrlVariable, url.c_str());
        return false;
    }
    lo_server server =
        lo_server_new_with_proto(nullptr, lo_address_get_protocol(address), ServerError);
    if (server == nullptr) {
        lo_address_free(address);
        std::fputs("No socket for the session manager; no session.\n", stderr);
        return false;
    }
    mManagerAddress = address;
    mServer = server;
    lo_server_add_method(server, "/reply", "ssss", tEntries::AnnounceReply, this);
    lo_server_add_method(server, "/reply", "sss", tEntries::AnnounceReply, this);
    lo_server_add_method(server, "/error", "sis", tEntries::AnnounceError, this);
    lo_server_add_method(server, "/nsm/client/open", "sss", tEntries::Open, this);
    lo_server_add_method(server, "/nsm/client/save", "", tEntries::Save, this);
    lo_server_add_method(server, "/nsm/client/show_optional_gui", "", tEntries::Show, this);
    lo_server_add_method(server, "/nsm/client/hide_optional_gui", "", tEntries::Hide, this);
    lo_server_add_method(server, "/nsm/client/session_is_loaded", "", tEntries::SessionLoaded,
                         this);
    lo_send_from(address, server, LO_TT_IMMEDIATE, "/nsm/server/announce", "sssiii", name.c_str(),
                 capabilities.c_str(), executable.c_str(), kApiMajor, kApiMinor,
                 static_cast<int>(getpid()));
    return true;
}

int tNsmClient::Fd() const {
    return mServer != nullptr ? lo_server_get_socket_fd(static_cast<lo_server>(mServer)) : -1;
}

void tNsmClient::Poll(int timeoutMs) {
    if (mServer == nullptr) return;
    lo_server server = static_cast<lo_server>(mServer);
    for (int wait = timeoutMs; lo_server_recv_noblock(server, wait) > 0; wait = 0) {
    }
}

void tNsmClient::Send(const char* path) {
    if (mServer == nullptr) return;
    lo_send_from(static_cast<lo_address>(mManagerAddress), static_cast<lo_server>(mServer),
                 LO_TT_IMMEDIATE, path, "");
}

void tNsmClient::Reply(const char* path, bool ok, int code, const std::string& message) {
    lo_address address = static_cast<lo_address>(mManagerAddress);
    lo_server server = static_cast<lo_server>(mServer);
    if (ok)
        lo_send_from(address, server, LO_TT_IMMEDIATE, "/reply", "ss", path, message.c_str());
    else
        lo_send_from(address, server, LO_TT_IMMEDIATE, "/error", "sis", path, code,
                     message.c_str());
}

void tNsmClient::SetDirty(bool dirty) {
    if (!mOpen || mDirty == static_cast<int>(dirty)) return;
    mDirty = dirty;
    Send(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean");
}

void tNsmClient::SetGuiShown(bool shown) {
    if (mGuiShown == static_cast<int>(shown)) return;
    mGuiShown = shown;
    // Before the manager has answered, the state is kept and told with its answer.
    if (mAnnounced) Send(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden");
}
