#include "AlsaTestDevices.h"
#include "AudioTestSupport.h"

#include "core/Config.h"
#include "core/Rack.h"
#include "core/TestModules.h"
#include "platform/AudioCallback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    tLoadCounters counters;
    tMasterStage stage{controls, counters};
    tRenderCallback callback{rack, audio, stage, controls, counters};
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
    EXPECT_EQ(counters.Blocks(), paced.calls.load()); // no tick thread here
}

TEST_F(RenderCallbackTest, OverloadGuardSwitchesAudioOffFromTheAudioThread) {
    counters.SetLevels(40, 0); // cut off above 0 x 64 / 128 + 2 fragments blocks per tick
    const int allNotesOffs = AllNotesOffsDelivered();
    ASSERT_TRUE(callback.Start());
    ASSERT_TRUE(WaitFor([&] { return !callback.IsOn() && paced.calls.load() == 3; }));
    EXPECT_EQ(callback.State(), tAudio::kClosed);
    EXPECT_FALSE(controls.audioOn.IsOn());
    EXPECT_FALSE(controls.audioLight.IsOn());
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    EXPECT_EQ(counters.Blocks(), 0);
    usleep(100000);
    EXPECT_EQ(paced.calls.load(), 3);
    EXPECT_EQ(alsatest::ReadOutput().size(), 3u * kPeriod * 2);
    // One from starting, one from the guard.
    EXPECT_EQ(AllNotesOffsDelivered(), allNotesOffs + 2);

    // The user can switch it on again.
    counters.UseSequencerLevels();
    ASSERT_TRUE(callback.Start());
    EXPECT_TRUE(WaitFor([&] { return paced.calls.load() > 10; }));
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
    counters.SetLevels(40, 0); // the third block of a run trips the guard
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
