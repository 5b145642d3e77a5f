#include "platform/MidiIn.h"

#include "platform/SequencerEvent.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

tMidiIn::tMidiIn(tMidiSink& sink, tLoadCounters& counters)
    : mSink(sink), mCounters(counters), mDecoder(sink) {
    if (pipe2(mWake, O_CLOEXEC) != 0) std::perror("pipe");
}

tMidiIn::~tMidiIn() {
    Stop();
    if (mFd >= 0) close(mFd);
    if (mSequencer != nullptr) snd_seq_close(mSequencer);
    for (int fd : mWake)
        if (fd >= 0) close(fd);
}

void tMidiIn::StartStream(int fd, const std::string& reopenPath) {
    if (IsStarted()) return;
    mFd = fd;
    mReopenPath = reopenPath;
    Start();
}

bool tMidiIn::StartSequencer() {
    if (IsStarted()) return true;
    snd_seq_t* sequencer = nullptr;
    const int err = snd_seq_open(&sequencer, "hw", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (err < 0) {
        std::fprintf(stderr, "open of ALSA sequencer failed: %s\n", snd_strerror(err));
        return false;
    }
    snd_seq_set_client_name(sequencer, kClientName);
    mPort = snd_seq_create_simple_port(sequencer, kPortName,
                                       SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    if (mPort < 0) std::perror("create seq port");
    mSequencer = sequencer;
    Start();
    return true;
}

void tMidiIn::Start() {
    mStop.store(false);
    mReading.store(true);
    mThread = std::thread([this] { Run(); });
}

void tMidiIn::Stop() {
    if (!IsStarted()) return;
    mStop.store(true);
    const char wake = 1;
    if (write(mWake[1], &wake, 1) < 0) std::perror("write");
    mThread.join();
}

void tMidiIn::WaitScheduled() {
    if (IsStarted()) mScheduled.Wait();
}

void tMidiIn::Run() {
    mThreadId.store(gettid());
    mRealtime.store(realtime::UseFifoScheduling(realtime::kPriority));
    if (!mRealtime.load())
        std::fputs("Can not add midi driver to the realtime scheduler!\n", stderr);
    mScheduled.Raise();
    if (mSequencer != nullptr)
        ReadSequencer();
    else
        ReadStream();
    mReading.store(false);
}

void tMidiIn::BackOff() {
    if (mCounters.MidiLoops() > kBackOffLoops && !mStop.load()) usleep(kBackOffMicroseconds);
}

// --- raw bytes ------------------------------------------------------------------------------

void tMidiIn::ReadStream() {
    std::uint8_t bytes[256];
    while (!mStop.load()) {
        mCounters.CountMidiLoop();
        pollfd fds[2] = {{mFd, POLLIN, 0}, {mWake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno != EINTR) std::perror("poll");
            BackOff();
            continue;
        }
        if (fds[1].revents != 0) break;
        if (fds[0].revents != 0) {
            const ssize_t count = read(mFd, bytes, sizeof bytes);
            if (count > 0) {
                mDecoder.Feed(bytes, static_cast<std::size_t>(count));
            } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
                // The writer went away (or the source failed).
                if (mReopenPath.empty() || !Reopen()) break;
            }
        }
        BackOff();
    }
}

bool tMidiIn::Reopen() {
    close(mFd);
    // Opened without waiting, so that Stop can still end the thread; poll then waits until
    // a new writer opens the FIFO and writes (a FIFO whose writers left before it was opened
    // does not report a hang-up).
    mFd = open(mReopenPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (mFd < 0) {
        std::fprintf(stderr, "Can't open input device %s.\n", mReopenPath.c_str());
        return false;
    }
    // A message cut off by the old writer is not completed by the new one.
    mDecoder.Reset();
    mReopens.fetch_add(1);
    return true;
}

// --- sequencer ------------------------------------------------------------------------------

void tMidiIn::ReadSequencer() {
    const int count = snd_seq_poll_descriptors_count(mSequencer, POLLIN);
    if (count < 1) {
        std::fputs("Sequencer: Invalid poll descriptors count.\n", stderr);
        return;
    }
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    const int filled =
        snd_seq_poll_descriptors(mSequencer, fds.data(), static_cast<unsigned>(count), POLLIN);
    if (filled < 1) {
        std::fprintf(stderr, "Sequencer: Unable to obtain poll descriptors. %s\n",
                     snd_strerror(filled < 0 ? filled : -EINVAL));
        return;
    }
    fds[static_cast<std::size_t>(filled)] = {mWake[0], POLLIN, 0};
    const nfds_t watched = static_cast<nfds_t>(filled) + 1;
    while (!mStop.load()) {
        mCounters.CountMidiLoop();
        if (poll(fds.data(), watched, -1) < 0 && errno != EINTR)
            std::fputs("Sequencer:  poll error.\n", stderr);
        if (fds[static_cast<std::size_t>(filled)].revents != 0) break;
        if (mPort >= 0) {
            // The handle does not block: take every event that is waiting.
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(mSequencer, &event) >= 0 && event != nullptr) {
                DeliverSequencerEvent(*event, mSink);
                snd_seq_free_event(event);
                event = nullptr;
            }
        }
        BackOff();
    }
}
