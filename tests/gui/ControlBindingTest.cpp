#include "gui/ControlBinding.h"
#include "gui/GuiTimer.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/Fl_Window.H>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

struct ControlBindingTest : ::testing::Test {
    Fl_Window window{300, 200};
    Fl_Value_Slider* slider = new Fl_Value_Slider(10, 10, 200, 20);
    Fl_Choice* choice = new Fl_Choice(10, 40, 100, 20);
    Fl_Light_Button* light = new Fl_Light_Button(10, 70, 60, 20);
    Fl_Slider* meter = new Fl_Slider(10, 100, 200, 10);
    Fl_Output* text = new Fl_Output(10, 120, 60, 20);

    tControl volume = tControl::Slider("volume", 0.0, 4.0, 0.01, 1.5);
    tControl type = tControl::Choice("type", {"clarinet", "flute"}, 0);
    tControl on = tControl::Switch("on", false);
    tControl level = tControl::Display("level", 0.0, 1.0, 0.0, 222);

    ControlBindingTest() {
        window.end();
        slider->bounds(0.0, 4.0);
        choice->add("clarinet");
        choice->add("flute");
    }
};

TEST_F(ControlBindingTest, WidgetsWriteTheirControlsByTheControlsRulesAndRunTheirAction) {
    tControlBinding binding;
    int actions = 0;
    binding.Bind(slider, volume, [&] { ++actions; });
    binding.Bind(choice, type);
    binding.Bind(light, on);
    EXPECT_DOUBLE_EQ(slider->value(), 1.5); // shown at once

    slider->value(7.0); // beyond the range, as a typed value could be
    slider->do_callback();
    EXPECT_DOUBLE_EQ(volume.Value(), 4.0);
    EXPECT_DOUBLE_EQ(slider->value(), 4.0);
    EXPECT_EQ(actions, 1);

    choice->value(1);
    choice->do_callback();
    EXPECT_EQ(type.Index(), 1);
    light->value(1);
    light->do_callback();
    EXPECT_TRUE(on.IsOn());
    // The user's own writes are not shown back as changes from elsewhere.
    EXPECT_EQ(binding.Refresh(), 0);
}

TEST_F(ControlBindingTest, TheTimerShowsWritesFromElsewhereIncludingMeterColours) {
    tControlBinding binding;
    binding.Bind(slider, volume);
    binding.Bind(choice, type);
    binding.BindDisplay(meter, level);
    binding.BindText(text, level, [](double v) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", v);
        return std::string(buffer);
    });
    volume.Set(0.25);
    type.Set(1);
    level.Set(0.5);
    level.SetColour(132);
    tGuiTimer::RefreshAll();
    EXPECT_DOUBLE_EQ(slider->value(), 0.25);
    EXPECT_EQ(choice->value(), 1);
    EXPECT_DOUBLE_EQ(meter->value(), 0.5);
    EXPECT_EQ(meter->selection_color(), 132u);
    EXPECT_STREQ(text->value(), "0.5");
    EXPECT_EQ(binding.Refresh(), 0);
}

TEST_F(ControlBindingTest, AGoneBindingLeavesNoCallbackAndNoTimerEntry) {
    {
        tControlBinding binding;
        binding.Bind(slider, volume);
    }
    volume.Set(3.0);
    tGuiTimer::RefreshAll(); // must not touch the freed binding
    slider->value(1.0);
    slider->do_callback(); // the default callback: nothing written
    EXPECT_DOUBLE_EQ(volume.Value(), 3.0);
}

} // namespace
