// Opening and closing the device again and again while the audio thread writes into it.

#include "platform/AlsaTestDevices.h"
#include "platform/AudioTestSupport.h"

#include "core/Config.h"
#include "platform/Audio.h"

#include <gtest/gtest.h>

namespace {

// Writes silence as a render callback would, and notices a device closed under its feet.
class tSilenceClient final : public tAudioClient {
public:
    explicit tSilenceClient(tAudio& audio) : mAudio(audio) {}
    void AudioCallback() override {
        if (mAudio.OpenState() != tAudio::kOpen) closedUnderway.fetch_add(1);
        mAudio.Write(mBlock);
        usleep(100);
        if (mAudio.OpenState() != tAudio::kOpen) closedUnderway.fetch_add(1);
        calls.fetch_add(1);
    }
    std::atomic<int> calls{0};
    std::atomic<int> closedUnderway{0};

private:
    tAudio& mAudio;
    int16_t mBlock[2048] = {};
};

} // namespace

TEST(AudioClose, ClosingWaitsForTheBlockUnderWay) {
    tConfig config;
    config.SetAudioDevice(alsatest::kNullDevice);
    config.SetPeriod(32);
    tAudio audio(config);
    tSilenceClient client(audio);
    audio.SetCallback(&client);
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(audio.Open(1 + round % 2), tAudio::kOpen);
        ASSERT_EQ(audio.Init(44100), 0);
        // Close at some moment of a block, without looking at the audio thread first.
        usleep(2000 + 37 * round);
        audio.Close();
        const int after = client.calls.load();
        usleep(500);
        ASSERT_EQ(client.calls.load(), after);
    }
    EXPECT_GT(client.calls.load(), 40);
    EXPECT_EQ(client.closedUnderway.load(), 0);
    audio.SetCallback(nullptr);
}
