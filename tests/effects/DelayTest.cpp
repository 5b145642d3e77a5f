#include "effects/Delay.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

namespace {
struct DelayFixture : ::testing::Test {
    tEffectsControls controls;
    tDelay unit{controls};
    tDelayControls& group = controls.delay;

    void Prepare(int channels) {
        unit.setSampleRate(44100);
        unit.setChannels(channels);
        unit.reset();
        unit.update();
    }
};
} // namespace

TEST_F(DelayFixture, SingleEchoWithoutFeedback) {
    group.feedback.Set(0.0);
    group.volume.Set(2.0);
    Prepare(1);
    EXPECT_EQ(unit.delay(), 8820);
    std::vector<double> x(3 * 8820, 0.0);
    x[0] = 1.0;
    for (std::size_t i = 0; i < x.size(); i += 128)
        unit.process(x.data() + i, static_cast<int>(std::min<std::size_t>(128, x.size() - i)));
    const double gain = (std::exp(2.0 / 3.0) - 1.0) / 2.0;
    EXPECT_EQ(x[0], 1.0);
    // The echo is the 8820th sample; nothing else sounds.
    EXPECT_DOUBLE_EQ(x[8819], gain);
    x[0] = x[8819] = 0.0;
    EXPECT_EQ(Peak(x), 0.0);
}

TEST_F(DelayFixture, FeedbackRepeatsTheEchoWithItsGain) {
    group.feedback.Set(1.5);
    Prepare(1);
    std::vector<double> x(8819 + 2 * 8820 + 1, 0.0);
    x[0] = 1.0;
    unit.process(x.data(), static_cast<int>(x.size()));
    const double gain = (std::exp(0.5) - 1.0) / 2.0;
    const double feedback = gain; // same law and setting
    EXPECT_DOUBLE_EQ(x[8819], gain);
    // The loop re-enters the line one sample after reading: repeats every 8820 samples.
    EXPECT_NEAR(x[8819 + 8820], gain * feedback, 1e-15);
    EXPECT_NEAR(x[8819 + 2 * 8820], gain * feedback * feedback, 1e-15);
    EXPECT_EQ(x[8819 + 8819], 0.0);
}

TEST_F(DelayFixture, PingPongAtPhaseZeroUsesTheSecondChannelOnly) {
    group.feedback.Set(0.0);
    group.time.Set(50.0); // 2205 samples
    Prepare(2);
    ASSERT_EQ(unit.delay(), 2205);
    const double gain = unit.gain();
    // Without ping-pong the first channel's impulse enters the left line; the phase stays 0.
    std::vector<double> s(2 * 2204, 0.0);
    s[0] = 1.0;
    unit.process(s.data(), static_cast<int>(s.size()));
    EXPECT_EQ(unit.phase(), 0);

    group.pingPong.Set(1);
    double frame[2] = {0.25, 0.5};
    unit.process(frame, 2);
    EXPECT_EQ(frame[0], 0.25);       // nothing to the first channel
    EXPECT_EQ(frame[1], 0.5 + gain); // the whole echo to the second
    EXPECT_EQ(unit.phase(), 1);

    // The line was fed from the second channel only: 0.5 comes back 2204 frames later,
    // at phase 2205 - 1 where c = 1 / 2205.
    std::vector<double> rest(2 * 2204, 0.0);
    unit.process(rest.data(), static_cast<int>(rest.size()));
    const double c = 1.0 / 2205.0;
    EXPECT_NEAR(rest[2 * 2203], (1.0 - c) * gain * 0.5, 1e-15);
    EXPECT_NEAR(rest[2 * 2203 + 1], c * gain * 0.5, 1e-15);
    // The phase wraps after 2 x delay + 1 frames.
    std::vector<double> more(2 * 2205, 0.0);
    unit.process(more.data(), static_cast<int>(more.size()));
    EXPECT_EQ(unit.phase(), (1 + 2204 + 2205) % (2 * 2205 + 1));
}

TEST_F(DelayFixture, RecordAndTimesOutsideTheSlider) {
    unit.setParams(Record("105 525 0 0 1").data());
    EXPECT_DOUBLE_EQ(group.volume.Value(), 1.05);
    EXPECT_DOUBLE_EQ(group.time.Value(), 525.0);
    EXPECT_DOUBLE_EQ(group.feedback.Value(), 0.0);
    EXPECT_FALSE(group.pingPong.IsOn());
    EXPECT_TRUE(group.on.IsOn());
    int out[tEffectUnit::kRecordSize];
    unit.getParams(out);
    EXPECT_EQ(std::vector<int>(out, out + 6), (std::vector<int>{105, 525, 0, 0, 1, -1}));

    EXPECT_EQ(tDelay::DelayFor(44100, 525.0), 23152);
    EXPECT_EQ(tDelay::DelayFor(44100, 0.0), 1);
    EXPECT_EQ(tDelay::DelayFor(44100, -300.0), 1);
    EXPECT_EQ(tDelay::DelayFor(44100, 1e9), tDelay::kLineLength);

    // Ping-pong with the shortest delay stays finite.
    unit.setParams(Record("300 0 300 1 1").data());
    Prepare(2);
    EXPECT_EQ(unit.delay(), 1);
    tTestNoise noise;
    std::vector<double> s(512);
    for (auto& v : s) v = noise.next();
    unit.process(s.data(), 512);
    EXPECT_TRUE(std::isfinite(Peak(s)));
}
