#include "app/Headless.h"

#include "app/Program.h"
#include "app/QuitSignal.h"
#include "catalog/ModuleFactory.h"
#include "core/RackFile.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <sstream>

tHeadlessRack::tHeadlessRack(tRack& rack) : mRack(rack), mSaved(Text()) {}

std::string tHeadlessRack::Text() {
    std::ostringstream out;
    SaveRack(mRack, out);
    return out.str();
}

bool tHeadlessRack::Load(const std::string& path, std::string& error) {
    const tRackLoadResult result = LoadRackFile(mRack, path, false, CreateModule);
    if (result.status != tRackFileStatus::kOk) {
        error = result.message;
        return false;
    }
    mSaved = Text();
    return true;
}

void tHeadlessRack::Clear() {
    mRack.Clear();
    mSaved = Text();
}

bool tHeadlessRack::Save(const std::string& path, std::string& error) {
    if (!SaveRackFile(mRack, path, error)) return false;
    mSaved = Text();
    return true;
}

bool tHeadlessRack::Changed() {
    return Text() != mSaved;
}

namespace {
constexpr int kWatchMilliseconds = 500;

void TellCost(const tJackAudio& jack) {
    const tJackAudio::tCost cost = jack.Cost();
    if (cost.periods == 0) return;
    std::fprintf(stderr,
                 "JACK: %llu periods, the process callback took %.1f %% of a period on average "
                 "and %.1f %% at most; %u xruns\n",
                 cost.periods, 100.0 * cost.meanShare, 100.0 * cost.maxShare, jack.Xruns());
}
} // namespace

int RunHeadless(tProgram& program, const std::string& executable) {
    tHeadlessRack document(program.Rack());
    const std::string& rackFile = program.Options().rackFile;
    std::string error;
    if (!rackFile.empty() && !document.Load(rackFile, error)) return 1; // said by the reader

    std::optional<tSession> session;
    const std::string url = tSession::ManagerUrl();
    if (!url.empty()) {
        session.emplace(document, program.AudioSwitch(), program.Jack());
        if (!session->Announce(url, executable, false)) session.reset();
    }
    if (!session) {
        if (!program.AudioSwitch().Start()) return 1; // the back-end said why
        std::fprintf(stderr, "Kelvora runs without a window; audio is on; SIGINT or SIGTERM ends "
                             "it.\n");
    }

    auto watched = std::chrono::steady_clock::now();
    while (!quitsignal::Raised()) {
        pollfd fds[2] = {{quitsignal::Fd(), POLLIN, 0}, {-1, POLLIN, 0}};
        if (session) fds[1].fd = session->Client().Fd();
        poll(fds, 2, kWatchMilliseconds);
        if (!session) continue;
        session->Poll();
        const auto now = std::chrono::steady_clock::now();
        if (now - watched >= std::chrono::milliseconds(kWatchMilliseconds)) {
            watched = now;
            session->Watch();
        }
    }
    program.AudioSwitch().Stop();
    TellCost(program.Jack());
    std::fputs("Kelvora ends: audio is off.\n", stderr);
    return 0;
}
