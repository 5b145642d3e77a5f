#include "app/QuitSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quitsignal {
namespace {
int gPipe[2] = {-1, -1};
std::atomic<bool> gRaised{false};

void Handle(int) {
    gRaised.store(true);
    const int saved = errno;
    const char byte = 1;
    // A full pipe already says so.
    if (write(gPipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}
} // namespace

bool Install() {
    if (gPipe[0] >= 0) return true;
    if (pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

int Fd() {
    return gPipe[0];
}

bool Raised() {
    char bytes[16];
    while (gPipe[0] >= 0 && read(gPipe[0], bytes, sizeof bytes) > 0) {
    }
    return gRaised.load();
}

} // namespace quitsignal
