// The program's threads all at once: MIDI bytes from a pipe through the MIDI thread, the tick
// thread, the audio thread rendering into a device paced at the card's rate, and the owning
// thread editing the rack and the master volume.

#include "app/Program.h"
#include "catalog/ModuleFactory.h"
#include "catalog/Presets.h"
#include "core/TextFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using tClock = std::chrono::steady_clock;
constexpr int kBytesPerSecond = 44100 * 2 * 2;
constexpr int kOrganPreset = 3;

// Takes the file device's stream from a FIFO no faster than a sound card.
class tPacedSink {
public:
    explicit tPacedSink(const std::string& path) {
        mkfifo(path.c_str(), 0600);
        mFd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        fcntl(mFd, F_SETPIPE_SZ, 4096);
        mThread = std::thread([this] { Run(); });
    }
    ~tPacedSink() {
        mStop.store(true);
        mThread.join();
        close(mFd);
    }
    long Bytes() const { return mBytes.load(); }

private:
    void Run() {
        char buffer[1024];
        tClock::time_point start{};
        while (!mStop.load()) {
            pollfd fd{mFd, POLLIN, 0};
            if (poll(&fd, 1, 20) <= 0) continue;
            const ssize_t count = read(mFd, buffer, sizeof buffer);
            if (count <= 0) continue;
            if (mBytes.load() == 0) start = tClock::now();
            mBytes.fetch_add(count);
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(mBytes.load() * 1000000LL / kBytesPerSecond));
        }
    }

    int mFd = -1;
    std::atomic<bool> mStop{false};
    std::atomic<long> mBytes{0};
    std::thread mThread;
};

} // namespace

TEST(ProgramThreads, PipedMidiPlaysWhileAudioRunsAndTheRackIsEdited) {
    char temp[] = "/tmp/kelvora-program-XXXXXX";
    ASSERT_NE(mkdtemp(temp), nullptr);
    const std::string dir = temp;
    ASSERT_TRUE(WriteTextFile(dir + "/asoundrc", "<confdir:alsa.conf>\n"
                                                 "pcm.kvnull { type null }\n"
                                                 "pcm.kvpaced { type file slave.pcm \"kvnull\" "
                                                 "file \"" +
                                                     dir + "/pcm\" format \"raw\" }\n"));
    setenv("ALSA_CONFIG_PATH", (dir + "/asoundrc").c_str(), 1);
    setenv("HOME", dir.c_str(), 1);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        tPacedSink sink(dir + "/pcm");
        tProgram program;
        std::string args[] = {"kelvora", "-o", "kvpaced", "-f", "64"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(),
                        args[3].data(), args[4].data(), nullptr};
        testing::internal::CaptureStderr();
        ASSERT_FALSE(program.Start(5, argv, fds[0]).has_value());
        testing::internal::GetCapturedStderr();
        tRack& rack = program.Rack();
        AddPreset(rack, kOrganPreset);
        tSlot* organ = rack.Slots().back();
        for (tSlot* slot : rack.Slots()) {
            tRack::tGuard guard(rack);
            slot->SwitchOn();
        }
        ASSERT_TRUE(program.AudioSwitch().Start());

        std::atomic<bool> stop{false};
        std::thread keyboard([&] {
            int key = 48;
            while (!stop.load()) {
                const std::uint8_t bytes[] = {0x90,
                                              std::uint8_t(key),
                                              100,
                                              0xB0,
                                              7,
                                              std::uint8_t(key),
                                              0xE0,
                                              0,
                                              std::uint8_t(key),
                                              0x90,
                                              std::uint8_t(key),
                                              0};
                if (write(fds[1], bytes, sizeof bytes) < 0) break;
                key = key == 72 ? 48 : key + 1;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });

        std::vector<tSlot*> added;
        const auto end = tClock::now() + std::chrono::milliseconds(1500);
        for (int step = 0; tClock::now() < end; ++step) {
            if (step % 4 == 0 && added.size() < 3) {
                std::unique_ptr<tSlot> effect = CreateModule(3, 190, 50);
                added.push_back(effect.get());
                rack.Insert(effect.release());
                rack.Connect(organ, added.back());
                tRack::tGuard guard(rack);
                added.back()->SwitchOn();
            } else if (step % 4 == 2 && !added.empty()) {
                rack.Delete(added.back());
                added.pop_back();
            } else {
                program.Master().volume.Set(1.0 + step % 10 * 0.1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        stop.store(true);
        keyboard.join();
        close(fds[1]);

        // Audio ran the whole time at the card's pace: the overload guard never fired.
        EXPECT_TRUE(program.AudioSwitch().IsOn());
        EXPECT_GT(program.Master().vuMeter.Value(), 0.0);
        EXPECT_GT(sink.Bytes(), kBytesPerSecond / 2);
        EXPECT_LT(sink.Bytes(), kBytesPerSecond * 3);
        program.AudioSwitch().Stop();
    }
    unlink((dir + "/pcm").c_str());
    unlink((dir + "/asoundrc").c_str());
    rmdir(dir.c_str());
}
