#include "AlsaTestDevices.h"
#include "AudioTestSupport.h"

#include "core/Config.h"
#include "platform/Audio.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

namespace {

// Writes a numbered pattern for a given number of blocks, then only rests.
class tPatternClient final : public tAudioClient {
public:
    tPatternClient(tAudio& audio, int blocks) : mAudio(audio), mBlocks(blocks) {
        written.reserve(static_cast<std::size_t>(blocks) * 2 * 256);
    }
    void AudioCallback() override {
        const int call = calls.load();
        if (call < mBlocks) {
            const int n = mAudio.Period() * mAudio.Channels();
            for (int i = 0; i < n; ++i) mBlock[i] = static_cast<int16_t>(call * 1000 - 7 * i);
            mAudio.Write(mBlock);
            written.insert(written.end(), mBlock, mBlock + n);
        }
        calls.fetch_add(1);
        usleep(300);
    }
    std::atomic<int> calls{0};
    std::vector<int16_t> written;

private:
    tAudio& mAudio;
    int mBlocks;
    int16_t mBlock[2048] = {};
};

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        alsatest::RemoveOutput();
        config.SetAudioDevice(alsatest::kFileDevice);
        config.SetPeriod(64);
        config.SetFragments(3);
    }
    tConfig config;
};

} // namespace

TEST_F(AudioTest, UnknownDeviceIsReportedAndLeftClosed) {
    config.SetAudioDevice("kvnosuch");
    tAudio audio(config);
    testing::internal::CaptureStderr();
    EXPECT_EQ(audio.Open(2), -1);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Can't open audio device.\n"), std::string::npos) << errors;
    // One more line points to the sound server's device.
    EXPECT_NE(errors.find("kvnosuch is busy or missing: a sound server (PipeWire, PulseAudio) "
                          "usually holds hw:0,0; try 'kelvora -o default'.\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    EXPECT_EQ(audio.Init(44100), 1);
    EXPECT_FALSE(audio.IsRunning());

    // Only for a busy or missing device, and not when "default" itself failed.
    EXPECT_TRUE(tAudio::SuggestSoundServer(-EBUSY, "hw:0,0"));
    EXPECT_TRUE(tAudio::SuggestSoundServer(-ENODEV, "hw:1,0"));
    EXPECT_FALSE(tAudio::SuggestSoundServer(-ENOENT, "default"));
    EXPECT_FALSE(tAudio::SuggestSoundServer(-EINVAL, "hw:0,0"));
}

TEST_F(AudioTest, InitWhileClosedReturnsOneAndChangesNothing) {
    tAudio audio(config);
    EXPECT_EQ(audio.Init(44100), 1);
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_EQ(audio.Period(), 128); // the configured 64 is taken only by a real Init
    EXPECT_EQ(audio.Fragments(), 2);
}

TEST_F(AudioTest, RefusedChannelCountClosesTheDevice) {
    tAudio audio(config);
    ASSERT_EQ(audio.Open(0), tAudio::kOpen);
    testing::internal::CaptureStdout();
    EXPECT_EQ(audio.Init(44100), -1);
    const std::string messages = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages.rfind("Channels count (0) not available for playbacks: ", 0), 0u)
        << messages;
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    EXPECT_FALSE(audio.IsRunning());
}

TEST_F(AudioTest, FileDeviceReceivesExactlyTheSamplesTheCallbackWrote) {
    for (int channels : {2, 1}) {
        SCOPED_TRACE(channels);
        alsatest::RemoveOutput();
        tAudio audio(config);
        tPatternClient client(audio, 40);
        audio.SetCallback(&client);
        ASSERT_EQ(audio.Open(channels), tAudio::kOpen);
        EXPECT_EQ(audio.Open(channels), tAudio::kOpen); // already open: unchanged
        ASSERT_EQ(audio.Init(44100), 0);
        EXPECT_TRUE(audio.IsRunning());
        EXPECT_EQ(audio.Period(), 64);
        EXPECT_EQ(audio.Fragments(), 3);
        EXPECT_EQ(audio.Channels(), channels);
        ASSERT_TRUE(WaitFor([&] { return client.calls.load() > 45; }));
        audio.Close();
        ASSERT_EQ(client.written.size(), 40u * 64u * channels);
        EXPECT_EQ(alsatest::ReadOutput(), client.written);
    }
}

TEST_F(AudioTest, CloseStopsTheCallbackAndOpenStartsItAgain) {
    config.SetAudioDevice(alsatest::kNullDevice);
    tAudio audio(config);
    tPatternClient client(audio, 1000000);
    audio.SetCallback(&client);
    ASSERT_EQ(audio.Open(2), tAudio::kOpen);
    ASSERT_EQ(audio.Init(44100), 0);
    ASSERT_TRUE(WaitFor([&] { return client.calls.load() > 10; }));
    audio.Close();
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_EQ(audio.OpenState(), tAudio::kClosed);
    const int stopped = client.calls.load();
    usleep(200000);
    EXPECT_EQ(client.calls.load(), stopped);

    ASSERT_EQ(audio.Open(1), tAudio::kOpen);
    ASSERT_EQ(audio.Init(44100), 0);
    EXPECT_TRUE(WaitFor([&] { return client.calls.load() > stopped + 10; }));
    audio.Close();
}

TEST_F(AudioTest, DestroyingARunningDeviceEndsTheThread) {
    config.SetAudioDevice(alsatest::kNullDevice);
    tPatternClient* client = nullptr;
    {
        tAudio audio(config);
        client = new tPatternClient(audio, 1000000);
        audio.SetCallback(client);
        ASSERT_EQ(audio.Open(2), tAudio::kOpen);
        ASSERT_EQ(audio.Init(44100), 0);
        ASSERT_TRUE(WaitFor([&] { return client->calls.load() > 5; }));
    }
    const int stopped = client->calls.load();
    usleep(50000);
    EXPECT_EQ(client->calls.load(), stopped);
    delete client;
}
