// A JACK server of the test's own (jackd's dummy driver under a name no other test uses) and
// two test clients in the test's process: one plays MIDI into "midi_in" at a chosen frame, the
// other records "out_1" and "out_2" with the server's frame times.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

class tJackTestServer {
public:
    tJackTestServer(int rate, int period) {
        if (!TakeName()) return;
        const std::string r = std::to_string(rate), p = std::to_string(period);
        std::vector<std::string> args = {"jackd", "-n", mName, "-d", "dummy", "-r", r, "-p", p};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&mPid, "jackd", &actions, nullptr, argv.data(), environ) != 0) mPid = 0;
        posix_spawn_file_actions_destroy(&actions);
        // Ready once a client can connect; libjack's complaints until then are left out.
        jack_set_error_function([](const char*) {});
        for (int i = 0; i < 100 && mPid != 0; ++i) {
            if (jack_client_t* probe = Open("probe")) {
                jack_client_close(probe);
                mReady = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~tJackTestServer() { Stop(); }

    bool Ready() const { return mReady; }
    const std::string& Name() const { return mName; }

    jack_client_t* Open(const char* client) const {
        jack_status_t status{};
        return jack_client_open(client,
                                static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                &status, mName.c_str());
    }

    void Stop() {
        if (mPid != 0) {
            kill(mPid, SIGTERM);
            waitpid(mPid, nullptr, 0);
            mPid = 0;
        }
        if (mLock >= 0) close(mLock);
        mLock = -1;
    }

private:
    // The servers' registry has room for a few servers only, and a server that was killed
    // keeps its entry until a server of the same name starts. So the tests' servers take
    // their names from a small pool, each held with a lock for the server's life (the
    // scripts' servers share the pool): a name is never in use twice, and a server left
    // behind by a killed test is replaced by the next one of its name.
    bool TakeName() {
        const char* dir = std::getenv("TMPDIR");
        const std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
        for (int i = 0; i < kNames; ++i) {
            const std::string name = "kelvora-test-" + std::to_string(i);
            const std::string path = base + "/" + name + ".lock";
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0) continue;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                mLock = fd;
                mName = name;
                return true;
            }
            close(fd);
        }
        return false;
    }

    static constexpr int kNames = 6;
    std::string mName;
    pid_t mPid = 0;
    int mLock = -1;
    bool mReady = false;
};

// Plays one short MIDI message at a frame of the next period.
class tJackMidiPlayer {
public:
    explicit tJackMidiPlayer(const tJackTestServer& server) {
        mClient = server.Open("player");
        if (mClient == nullptr) return;
        mPort =
            jack_port_register(mClient, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(mClient, Process, this);
        jack_activate(mClient);
    }
    ~tJackMidiPlayer() {
        if (mClient != nullptr) jack_client_close(mClient);
    }
    jack_client_t* Client() const { return mClient; }
    std::string Port() const { return jack_port_name(mPort); }

    // Where Play() tells its events: the frames a recorder had recorded when the event's period
    // began, which the recorder's process callback (later in the same cycle, behind the
    // synthesizer) has not yet added to. The server's frame times are no clock for this: under
    // load the dummy driver's advance by more or less than a period from one cycle to the next.
    void CountBy(const std::atomic<std::int64_t>& recorded) { mRecorded = &recorded; }
    // Sends the bytes at frame of the next period; returns the frame of the recording (see
    // CountBy()) it falls on, or else the server's frame time of it.
    std::int64_t Play(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, int frame) {
        mBytes[0] = status;
        mBytes[1] = data1;
        mBytes[2] = data2;
        mFrame.store(frame);
        mSentAt.store(-1);
        mPending.store(true);
        while (mSentAt.load() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return mSentAt.load();
    }

private:
    static int Process(jack_nframes_t frames, void* data) {
        auto* self = static_cast<tJackMidiPlayer*>(data);
        void* buffer = jack_port_get_buffer(self->mPort, frames);
        jack_midi_clear_buffer(buffer);
        if (!self->mPending.load()) return 0;
        const int frame = std::min<int>(self->mFrame.load(), static_cast<int>(frames) - 1);
        jack_midi_event_write(buffer, static_cast<jack_nframes_t>(frame), self->mBytes, 3);
        self->mPending.store(false);
        const std::int64_t start = self->mRecorded != nullptr ? self->mRecorded->load()
                                                              : jack_last_frame_time(self->mClient);
        self->mSentAt.store(start + frame);
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mPort = nullptr;
    jack_midi_data_t mBytes[3] = {};
    std::atomic<int> mFrame{0};
    std::atomic<bool> mPending{false};
    std::atomic<std::int64_t> mSentAt{-1};
    const std::atomic<std::int64_t>* mRecorded = nullptr;
};

// Records two channels from its start on, up to seconds of sound.
class tJackRecorder {
public:
    tJackRecorder(const tJackTestServer& server, double seconds) {
        mClient = server.Open("recorder");
        if (mClient == nullptr) return;
        const std::size_t size = static_cast<std::size_t>(seconds * jack_get_sample_rate(mClient));
        for (int c = 0; c < 2; ++c) {
            mSamples[c].assign(size, 0.0f);
            const std::string name = "in_" + std::to_string(c + 1);
            mPorts[c] = jack_port_register(mClient, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsInput, 0);
        }
        jack_set_process_callback(mClient, Process, this);
        jack_set_xrun_callback(mClient, Xrun, this);
        jack_activate(mClient);
    }
    ~tJackRecorder() {
        if (mClient != nullptr) jack_client_close(mClient);
    }
    std::string Port(int channel) const { return jack_port_name(mPorts[channel]); }

    // Frames recorded; as it counts them, for a player (tJackMidiPlayer::CountBy()).
    std::int64_t Frames() const { return mFrames.load(); }
    const std::atomic<std::int64_t>& FrameCounter() const { return mFrames; }
    const std::vector<float>& Samples(int channel) const { return mSamples[channel]; }
    // Times the server ran late since the recorder started: the xruns it reported, and cycles
    // whose frame time did not follow on from the one before of the same period (a cycle
    // missed, or the dummy driver's clock jumping). Where it ran late, a client may have missed its
    // turn and left silence where its sound belonged, and the recording may lack frames.
    int Slips() const { return mXruns.load() + mSlips.load(); }
    // Waits (up to 20 s) until frame is recorded; false if it was not.
    bool WaitFor(std::int64_t frame) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (mFrames.load() <= frame && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return mFrames.load() > frame;
    }

private:
    static int Process(jack_nframes_t frames, void* data) {
        auto* self = static_cast<tJackRecorder*>(data);
        const std::int64_t at = self->mFrames.load();
        const std::int64_t room = static_cast<std::int64_t>(self->mSamples[0].size()) - at;
        const std::int64_t n = std::min<std::int64_t>(frames, room);
        for (int c = 0; c < 2; ++c) {
            const auto* in =
                static_cast<const float*>(jack_port_get_buffer(self->mPorts[c], frames));
            std::copy(in, in + n, self->mSamples[c].begin() + at);
        }
        self->mFrames.store(at + n);
        // A change of period may move the clock: only a cycle that follows one of its own
        // length is looked at.
        const jack_nframes_t time = jack_last_frame_time(self->mClient);
        if (self->mCycles++ > 0 && frames == self->mLastFrames && time != self->mNextTime)
            ++self->mSlips;
        self->mNextTime = time + frames;
        self->mLastFrames = frames;
        return 0;
    }

    static int Xrun(void* data) {
        ++static_cast<tJackRecorder*>(data)->mXruns;
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mPorts[2] = {};
    std::vector<float> mSamples[2];
    std::atomic<std::int64_t> mFrames{0};
    std::atomic<int> mXruns{0};
    std::atomic<int> mSlips{0};
    std::int64_t mCycles = 0;
    jack_nframes_t mNextTime = 0; // the frame time the next cycle should have
    jack_nframes_t mLastFrames = 0;
};
