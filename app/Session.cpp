#include "app/Session.h"

#include "core/AudioSwitch.h"
#include "platform/JackAudio.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

tSession::tSession(tSessionDocument& document, tAudioSwitch& audio, tJackAudio& jack)
    : mDocument(document), mAudio(audio), mJack(jack) {}

std::string tSession::ManagerUrl() {
    const char* url = std::getenv(tNsmClient::kUrlVariable);
    return url != nullptr ? url : "";
}

bool tSession::Announce(const std::string& url, const std::string& executable, bool withGui) {
    return mClient.Announce(url, "Kelvora", withGui ? kCapabilities : kHeadlessCapabilities,
                            executable);
}

bool tSession::Open(const std::string& path, const std::string& displayName,
                    const std::string& clientId, std::string& message) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        message = "Can't make the session directory " + path + " (" + error.message() + ")";
        std::fprintf(stderr, "%s\n", message.c_str());
        return false;
    }
    const std::string rack = path + "/" + kRackFile;
    // Another session (a switch): the old one's audio goes first.
    mAudio.Stop();
    if (std::filesystem::exists(rack, error)) {
        std::string why;
        if (!mDocument.Load(rack, why)) {
            message = why;
            return false;
        }
        message = "Loaded " + rack;
    } else {
        mDocument.Clear();
        message = "New session";
    }
    mRackPath = rack;
    tJackSettings jack = mJack.Settings();
    jack.clientName = clientId;
    mJack.SetSettings(jack);
    std::fprintf(stderr, "Session %s opened: %s\n", displayName.c_str(), message.c_str());
    if (!mAudio.Start()) message += "; audio stays off: " + mAudio.FailureMessage();
    return true;
}

bool tSession::Save(std::string& message) {
    if (!mDocument.Save(mRackPath, message)) return false;
    message = "Saved " + mRackPath;
    return true;
}

void tSession::ShowGui(bool show) {
    mDocument.ShowGui(show);
    mClient.SetGuiShown(show);
}

void tSession::Watch() {
    if (mClient.SessionOpen()) mClient.SetDirty(mDocument.Changed());
}
