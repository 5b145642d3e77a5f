#include "AlsaTestDevices.h"
#include "AudioTestSupport.h"

#include "core/Config.h"
#include "core/Rack.h"
#include "core/TestModules.h"
#include "platform/AudioCallback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPeriod = 64;

class RenderCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        alsatest::RemoveOutput();
        config.SetAudioDevice(alsatest::kFileDevice);
        config.SetPeriod(kPeriod);
        config.SetFragments(2);
        instrument->SwitchOn();
        rack.Insert(instrument);
        callback.SetChannels(2);
        audio.SetCallback(&paced);
    }
    void TearDown() override {
        callback.Stop();
        audio.SetCallback(nullptr);
    }
    int AllNotesOffsDelivered() {
        tRack::tGuard guard(rack);
        return instrument->allNotesOffs;
    }

    tConfig config;
    tAudio audio{config};
    tRack rack;
    tMasterControls controls;
    tMasterStage stage{controls};
    tRenderCallback callback{rack, audio, stage, controls};
    tPacedClient paced{callback};
    tTestInstrument* instrument = new tTestInstrument(0.5);
};

} // namespace

TEST_F(RenderCallbackTest, DeviceReceivesTheMasterStageOutputOneBlockLate) {
    ASSERT_TRUE(callback.Start());
    EXPECT_TRUE(callback.IsOn());
    EXPECT_EQ(callback.State(), tAudio::kOpen);
    EXPECT_TRUE(controls.audioOn.IsOn());
    EXPECT_TRUE(controls.audioLight.IsOn());
    EXPECT_EQ(instrument->channels, 2);
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() >= 20; }));
    callback.Stop();
    EXPECT_FALSE(callback.IsOn());
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_FALSE(controls.audioLight.IsOn());

    // Every callback wrote the block the previous one computed: first the initial silence,
    // then 0.5 at the master volume's initial gain.
    const std::vector<int16_t> samples = alsatest::ReadOutput();
    const int block = kPeriod * 2;
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(paced.calls.load() * block));
    EXPECT_TRUE(
        std::all_of(samples.begin(), samples.begin() + block, [](int16_t s) { return s == 0; }));
    EXPECT_TRUE(
        std::all_of(samples.begin() + block, samples.end(), [](int16_t s) { return s == 6786; }));
}

// Spends twice each block's duration of processor time in every block it renders.
class tHeavyInstrument : public tTestInstrument {
public:
    tHeavyInstrument() : tTestInstrument(0.25) {}
    void Render(int frames) override {
        tTestInstrument::Render(frames);
        if (!heavy.load()) return;
        timespec start{}, now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        const double spend = 2.0 * frames / 44100.0;
        do {
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        } while ((now.tv_sec - start.tv_sec) + 1e-9 * (now.tv_nsec - start.tv_nsec) < spend);
    }
    std::atomic<bool> heavy{false};
};

TEST_F(RenderCallbackTest, OverloadIsProcessorTimeAndSwitchesAudioOffSayingWhy) {
    auto* heavy = new tHeavyInstrument;
    heavy->SwitchOn();
    rack.Insert(heavy);
    const int allNotesOffs = AllNotesOffsDelivered();
    // No tick thread runs here, as when one starves: two seconds of light work stay on.
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() > 2 * 44100 / kPeriod; }));
    EXPECT_TRUE(callback.IsOn());
    EXPECT_EQ(controls.audioOff.Serial(), 0u);
    // More processor time than the periods last: off within two seconds of sound.
    const int before = paced.calls.load();
    heavy->heavy.store(true);
    ASSERT_TRUE(WaitFor([&] { return !callback.IsOn(); }));
    EXPECT_LE(paced.calls.load() - before, 2 * 44100 / kPeriod + 2);
    EXPECT_EQ(controls.audioOff.Index(), kAudioOffOverload);
    EXPECT_NE(std::string(AudioOffMessage(controls.audioOff.Index())).find("overloaded"),
              std::string::npos);
    EXPECT_EQ(callback.State(), tAudio::kClosed);
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_FALSE(controls.audioLight.IsOn());
    EXPECT_FALSE(audio.IsRunning());
    // One from starting, one from the guard.
    EXPECT_EQ(AllNotesOffsDelivered(), allNotesOffs + 2);
    // The user can switch it on again.
    heavy->heavy.store(false);
    const int stopped = paced.calls.load();
    ASSERT_TRUE(callback.Start());
    EXPECT_TRUE(WaitFor([&] { return paced.calls.load() > stopped + 10; }));
}

TEST_F(RenderCallbackTest, ALostDeviceSwitchesAudioOffOnceAndSaysWhy) {
    config.SetAudioDevice(alsatest::kLostDevice);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return !callback.IsOn(); }));
    usleep(50000);
    const std::string errors = testing::internal::GetCapturedStderr();
    // The realtime thread does not go on writing into a device that is gone.
    EXPECT_EQ(paced.calls.load(), alsatest::kLostAfterBlocks + 1);
    EXPECT_EQ(errors, "The audio device stopped working (No such device); audio is switched "
                      "off.\n");
    EXPECT_EQ(controls.audioOff.Index(), kAudioOffDeviceLost);
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
}

TEST_F(RenderCallbackTest, UnderrunsAreRecoveredCountedAndShown) {
    config.SetAudioDevice(alsatest::kUnderrunDevice);
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() > 5 * alsatest::kUnderrunEvery; }));
    EXPECT_TRUE(callback.IsOn());
    EXPECT_GE(audio.Underruns(), 5u);
    ASSERT_TRUE(WaitFor([&] { return controls.underruns.Value() >= 5.0; }));
    EXPECT_EQ(controls.audioOff.Serial(), 0u);
}

TEST_F(RenderCallbackTest, ADeviceOfferingAnotherRateRunsTheEngineAtItsRateAndSaysSoOnce) {
    config.SetAudioDevice(alsatest::k48kDevice);
    testing::internal::CaptureStdout();
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(callback.Start());
        EXPECT_EQ(audio.Rate(), 48000);
        EXPECT_EQ(callback.SampleRate(), 48000);
        EXPECT_EQ(rack.SampleRate(), 48000);
        callback.Stop();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Rate doesn't match (requested 44100Hz, get 48000Hz)\n");
}

// Holds the audio thread at the start of one callback, so that the owning thread can be
// caught switching audio off just as the overload guard does the same.
class tHoldingClient final : public tAudioClient {
public:
    tHoldingClient(tAudioClient& inner, int holdAt) : mInner(inner), mHoldAt(holdAt) {}
    void AudioCallback() override {
        if (calls.load() == mHoldAt) {
            holding.store(true);
            usleep(30000);
        }
        mInner.AudioCallback();
        calls.fetch_add(1);
        usleep(300);
    }
    std::atomic<int> calls{0};
    std::atomic<bool> holding{false};

private:
    tAudioClient& mInner;
    int mHoldAt;
};

TEST_F(RenderCallbackTest, StopDuringTheOverloadGuardFinishes) {
    stage.SetOverloadGuard(0.0, 2.5 * kPeriod / 44100.0); // the third block trips the guard
    tHoldingClient holding(callback, 2);
    audio.SetCallback(&holding);
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return holding.holding.load(); }));

    // A deadlock between the two off paths would never return from Stop.
    std::atomic<bool> stopped{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !stopped.load(); ++i) usleep(10000);
        if (!stopped.load()) {
            std::fputs("Stop did not return\n", stderr);
            std::_Exit(1);
        }
    });
    callback.Stop();
    stopped.store(true);
    watchdog.join();

    EXPECT_EQ(holding.calls.load(), 3);
    EXPECT_FALSE(callback.IsOn());
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    audio.SetCallback(&paced);
}

TEST_F(RenderCallbackTest, UnusableDeviceLeavesAudioOff) {
    config.SetAudioDevice("kvnosuch");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(callback.Start());
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Can't open audio device.\n"), std::string::npos);
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(callback.State(), tAudio::kClosed);
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_FALSE(controls.audioLight.IsOn());
    usleep(50000);
    EXPECT_EQ(paced.calls.load(), 0);
}

TEST_F(RenderCallbackTest, ChannelSwitchReconfiguresTheRackAndRestartsRunningAudio) {
    callback.SetChannels(1);
    EXPECT_FALSE(callback.IsOn());
    EXPECT_EQ(rack.Channels(), 1);
    EXPECT_EQ(instrument->channels, 1);

    callback.SetChannels(2);
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() > 5; }));
    callback.SetChannels(1);
    EXPECT_TRUE(callback.IsOn());
    EXPECT_EQ(audio.Channels(), 1);
    EXPECT_EQ(instrument->channels, 1);
    const int restarted = paced.calls.load();
    ASSERT_TRUE(WaitFor([&] { return paced.calls.load() > restarted + 5; }));
    callback.Stop();
    // The file was started afresh by the reopened device: mono blocks of the held level.
    const std::vector<int16_t> samples = alsatest::ReadOutput();
    EXPECT_GT(samples.size(), 5u * kPeriod);
    EXPECT_EQ(samples.size() % kPeriod, 0u);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 6786; }));
}
