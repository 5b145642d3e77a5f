// The audio device under settings and devices that misbehave: a period from the rc file that
// the mix cannot hold, and a device that stops taking data while audio is switched off.

#include "AlsaTestDevices.h"
#include "AudioTestSupport.h"

#include "core/Config.h"
#include "core/Rack.h"
#include "core/TestModules.h"
#include "platform/AudioCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

// The program's audio parts around a rack with one instrument playing 0.5.
struct tAudioRig {
    explicit tAudioRig(const tConfig& config) : audio(config) {
        auto* instrument = new tTestInstrument(0.5);
        instrument->SwitchOn();
        rack->Insert(instrument);
        callback.SetChannels(2);
        audio.SetCallback(&paced);
    }
    ~tAudioRig() {
        callback.Stop();
        audio.SetCallback(nullptr);
    }
    // On the heap, so that reading past its mix buffer is caught.
    std::unique_ptr<tRack> rack = std::make_unique<tRack>();
    tMasterControls controls;
    tMasterStage stage{controls};
    tAudio audio;
    tRenderCallback callback{*rack, audio, stage, controls};
    tPacedClient paced{callback};
};

} // namespace

TEST(AudioSafety, PeriodFromTheRcFileIsLimitedLikeTheCommandLine) {
    char home[] = "/tmp/kelvora-rc-XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    const char* saved = std::getenv("HOME");
    const std::string savedHome = saved != nullptr ? saved : "";
    setenv("HOME", home, 1);
    const std::string rc = std::string(home) + "/.kelvorarc";

    struct {
        const char* value;
        int period;
    } const cases[] = {{"1024", 256}, {"0", 16}, {"-64", 16}, {"64", 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(WriteTextFile(rc, std::string("AudioDevice=") + alsatest::kNullDevice +
                                          "\nPeriodSize=" + c.value + "\n"));
        tConfig config;
        std::string error;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(config.Read(error));
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(config.Period(), c.period);
        if (c.period != std::atoi(c.value)) {
            EXPECT_EQ(message, std::string("PeriodSize ") + c.value +
                                   " in the rc file is outside 16..256; audio period size set "
                                   "to: " +
                                   std::to_string(c.period) + "\n");
        }

        // Stereo blocks of that period play through the master stage and the device (few
        // enough that the overload guard, with no tick thread here, stays quiet).
        tAudioRig rig(config);
        ASSERT_TRUE(rig.callback.Start());
        ASSERT_TRUE(WaitFor([&] { return rig.paced.calls.load() >= 8; }));
        EXPECT_EQ(rig.audio.Period(), c.period);
    }
    unlink(rc.c_str());
    rmdir(home);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(AudioSafety, SwitchingOffDoesNotWaitForADeviceThatTakesNoData) {
    ASSERT_EQ(mkfifo(alsatest::PipePath().c_str(), 0600), 0);
    // A reader that never reads: once the pipe is full, every write waits.
    const int reader = open(alsatest::PipePath().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    tConfig config;
    config.SetAudioDevice(alsatest::kPipeDevice);
    config.SetPeriod(128);
    tAudioRig rig(config);
    ASSERT_TRUE(rig.callback.Start());
    ASSERT_TRUE(WaitFor([&] { return rig.paced.calls.load() >= 2; }));
    // The pipe holds well under a second of sound; after this the callback waits in its write.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int callsBeforeStop = rig.paced.calls.load();

    // Drains the pipe once switching off has returned, or after 3 s if it never does.
    std::atomic<bool> stopped{false};
    std::thread drainer([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!stopped.load() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        char bytes[65536];
        for (int i = 0; i < 400; ++i) {
            while (read(reader, bytes, sizeof bytes) > 0) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    rig.callback.Stop();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    stopped.store(true);
    EXPECT_LT(waited.count(), 1000);
    EXPECT_GE(waited.count(), tAudio::kCloseWaitMs - 50);
    EXPECT_FALSE(rig.callback.IsOn());
    EXPECT_EQ(rig.audio.OpenState(), tAudio::kClosed);
    EXPECT_LE(rig.paced.calls.load(), callsBeforeStop + 1);

    // Once the write returns, the audio thread closes the device itself and calls no more.
    EXPECT_TRUE(WaitFor([&] { return !rig.audio.ClosePending(); }));
    drainer.join();
    const int calls = rig.paced.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.paced.calls.load(), calls);
    close(reader);

    // Audio can be switched on again.
    config.SetAudioDevice(alsatest::kNullDevice);
    ASSERT_TRUE(rig.callback.Start());
    EXPECT_TRUE(WaitFor([&] { return rig.paced.calls.load() >= calls + 10; }));
}

TEST(AudioSafety, AnAudioThreadLeftInAStuckWriteTouchesNothingOnceTheWriteReturns) {
    unlink(alsatest::PipePath().c_str());
    ASSERT_EQ(mkfifo(alsatest::PipePath().c_str(), 0600), 0);
    const int reader = open(alsatest::PipePath().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    tConfig config;
    config.SetAudioDevice(alsatest::kPipeDevice);
    config.SetPeriod(128);
    // On the heap, so that a touch after it is gone is caught.
    auto rig = std::make_unique<tAudioRig>(config);
    ASSERT_TRUE(rig->callback.Start());
    ASSERT_TRUE(WaitFor([&] { return rig->paced.calls.load() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the pipe is full now
    // The program ends while the audio thread waits in its write: switching off and the
    // device's end each give up waiting, and everything is destroyed.
    rig.reset();
    // The write returns into an audio thread whose objects are gone.
    char bytes[65536];
    for (int i = 0; i < 100; ++i) {
        while (read(reader, bytes, sizeof bytes) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(reader);
    unlink(alsatest::PipePath().c_str());
    SUCCEED(); // a touch of freed memory ends the test program under the address sanitizer
}
