#include "core/Control.h"
#include "core/KeyFrequency.h"
#include "core/Path.h"

#include <gtest/gtest.h>

TEST(Control, SliderLimitsToItsRangeButRawSetterDoesNot) {
    tControl feedback = tControl::Slider("feedback", 0.6, 1.01, 0.001, 0.984);
    EXPECT_DOUBLE_EQ(feedback.Value(), 0.984);
    feedback.Set(2.0);
    EXPECT_DOUBLE_EQ(feedback.Value(), 1.01);
    feedback.Set(-1.0);
    EXPECT_DOUBLE_EQ(feedback.Value(), 0.6);
    feedback.SetRaw(7.5);
    EXPECT_DOUBLE_EQ(feedback.Value(), 7.5);
    feedback.Reset();
    EXPECT_DOUBLE_EQ(feedback.Value(), 0.984);
}

TEST(Control, ReversedRangeOfAVerticalSliderStillLimits) {
    tControl band = tControl::FillSlider("45", 2.0, 0.0, 0.0, 0.7);
    band.Set(3.0);
    EXPECT_DOUBLE_EQ(band.Value(), 2.0);
    band.Set(-0.5);
    EXPECT_DOUBLE_EQ(band.Value(), 0.0);
}

TEST(Control, ChoiceTakesEntryIndicesAndIgnoresOthers) {
    tControl order = tControl::Choice("filter order", {"1", "2", "3", "4"}, 0);
    order.Set(3);
    EXPECT_EQ(order.Index(), 3);
    order.Set(4);
    EXPECT_EQ(order.Index(), 3);
    order.Set(-1);
    EXPECT_EQ(order.Index(), 3);
    EXPECT_EQ(order.EntryCount(), 4);
}

TEST(Control, SwitchStoresZeroOrOneAndSerialCountsWrites) {
    tControl mute = tControl::Switch("mute", true);
    const auto before = mute.Serial();
    mute.Set(0.0);
    EXPECT_FALSE(mute.IsOn());
    mute.Set(5.0);
    EXPECT_DOUBLE_EQ(mute.Value(), 1.0);
    mute.SetColour(132);
    EXPECT_EQ(mute.Serial(), before + 3);
}

TEST(KeyFrequency, EqualTemperamentWithA440) {
    EXPECT_NEAR(KeyFrequency(69), 440.0, 1e-9);
    EXPECT_NEAR(KeyFrequency(57), 220.0, 1e-9);
    EXPECT_NEAR(KeyFrequency(60), 261.6255653, 1e-6);
    EXPECT_NEAR(KeyFrequency(0), 8.1757989, 1e-6);
}

TEST(Path, BaseNameDropsDirectoriesAndLastExtension) {
    EXPECT_EQ(BaseName("/home/me/harp.pst"), "harp");
    EXPECT_EQ(BaseName("organ.old"), "organ");
    EXPECT_EQ(BaseName("a.b.c"), "a.b");
    EXPECT_EQ(BaseName("dir.x/plain"), "plain");
    EXPECT_EQ(ForceExtension("song", ".mst"), "song.mst");
    EXPECT_EQ(ForceExtension("dir.x/song.txt", ".mst"), "dir.x/song.mst");
    EXPECT_EQ(ForceExtension("dir.x/song", ".mst"), "dir.x/song.mst");
}
