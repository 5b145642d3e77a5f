#include "app/MidiSource.h"

#include "platform/MidiIn.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::optional<int> OpenFifo(const std::string& path, tMidiSource& source) {
    // Blocking: for a FIFO this waits until a writer opens it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "Can't open input device %s.\n", path.c_str());
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        std::fputs("Can't get input device status.\n", stderr);
        close(fd);
        return -1;
    }
    if (!S_ISFIFO(status.st_mode)) {
        std::fputs("direct connect to midi device is not supported. Use ALSA to connect to any "
                   "midi device\n",
                   stderr);
        close(fd);
        return 0;
    }
    std::fputs("midi input fifo detected.\n", stderr);
    source.kind = tMidiSource::kFifo;
    source.fd = fd;
    source.path = path;
    return std::nullopt;
}
} // namespace

std::optional<int> ChooseMidiSource(const std::string& fifoPath, int standardInput,
                                    tMidiSource& source) {
    if (!fifoPath.empty()) return OpenFifo(fifoPath, source);
    struct stat status {};
    if (fstat(standardInput, &status) != 0) return -1;
    if (S_ISREG(status.st_mode)) {
        std::fputs("Can't read input from a regular file.\n", stderr);
        return -1;
    }
    if (S_ISFIFO(status.st_mode)) {
        std::fputs("midi input fifo detected.\n", stderr);
        source.kind = tMidiSource::kPipe;
        source.fd = standardInput;
        return std::nullopt;
    }
    source.kind = tMidiSource::kSequencer;
    return std::nullopt;
}

void StartMidiSource(const tMidiSource& source, tMidiIn& midiIn) {
    switch (source.kind) {
    case tMidiSource::kFifo:
        midiIn.StartStream(source.fd, source.path);
        break;
    case tMidiSource::kPipe:
        midiIn.StartStream(source.fd, "");
        break;
    case tMidiSource::kSequencer:
        midiIn.StartSequencer();
        break;
    }
}
