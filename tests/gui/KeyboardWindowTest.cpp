#include "gui/KeyboardWindow.h"
#include "core/Rack.h"
#include "gui/PianoKeys.h"
#include "tests/render/TestModule.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The keyboard window over a rack with one instrument on MIDI channel 3 and one on channel 1:
// what the window plays reaches the rack's modules as MIDI does.
class KeyboardWindowTest : public ::testing::Test {
protected:
    KeyboardWindowTest() {
        rack.Insert(onThree);
        rack.Insert(onOne);
        {
            tRack::tGuard guard(rack);
            onThree->SetChannel(3);
        }
        keyboard.SetChannel(2);
        keyboard.Show();
        Fl::check();
    }

    tPianoKeys& Keys() { return keyboard.Keys(); }
    Fl_Window* Win() { return &keyboard.Window(); }

    // A point of key at depth (0 back .. 1 front) of its length.
    void PointOf(int key, double depth, int& x, int& y) {
        const int top = Keys().y(), bottom = Keys().y() + Keys().h() - 1;
        y = top + static_cast<int>(depth * (bottom - top));
        for (x = Keys().x(); x < Keys().x() + Keys().w(); ++x)
            if (Keys().KeyAt(x, y) == key) return;
        ADD_FAILURE() << "key " << key << " not shown";
    }
    void Mouse(int event, int x, int y) {
        Fl::e_x = x;
        Fl::e_y = y;
        Fl::e_x_root = x + Win()->x();
        Fl::e_y_root = y + Win()->y();
        Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
        Fl::e_state = event == FL_RELEASE ? 0 : FL_BUTTON1;
        Fl::handle(event, Win());
    }
    void Key(int event, int letter) {
        Fl::e_keysym = letter;
        Fl::e_state = 0;
        Fl::handle(event, Win());
    }
    void Type(int letter) {
        Key(FL_KEYDOWN, letter);
        Key(FL_KEYUP, letter);
    }
    // The events that reached the module on channel 3 since the last look.
    std::vector<std::string> Played() {
        std::vector<std::string> events;
        for (const std::string& event : onThree->events)
            if (event.rfind("on ", 0) == 0 || event.rfind("off ", 0) == 0) events.push_back(event);
        onThree->events.clear();
        return events;
    }

    tRack rack;
    tTestModule* onThree = new tTestModule(kStringModule, 0, 0);
    tTestModule* onOne = new tTestModule(kFluteModule, 0, 100);
    tKeyboardWindow keyboard{rack};
};

} // namespace

TEST_F(KeyboardWindowTest, TheMouseStrikesSoftlyAtTheBackOfAKeyAndHardAtItsFrontAndGlides) {
    EXPECT_GE(tPianoKeys::kOctaves, 2);
    EXPECT_STREQ(Win()->xclass(), "kvKeyboard");
    int x, y;
    PointOf(60, 0.05, x, y);
    Mouse(FL_PUSH, x, y);
    Mouse(FL_RELEASE, x, y);
    PointOf(60, 0.95, x, y);
    Mouse(FL_PUSH, x, y);
    int gx, gy;
    PointOf(61, 0.3, gx, gy); // the black key beside: the held note moves there
    Mouse(FL_DRAG, gx, gy);
    Mouse(FL_RELEASE, gx, gy);
    const std::vector<std::string> played = Played();
    ASSERT_EQ(played.size(), 6u);
    EXPECT_EQ(played[1], "off 60");
    const int soft = std::stoi(played[0].substr(6)), loud = std::stoi(played[2].substr(6));
    EXPECT_LT(soft, 40);
    EXPECT_GT(loud, 115);
    EXPECT_EQ(played[3], "off 60");
    EXPECT_EQ(played[4].substr(0, 6), "on 61 ");
    EXPECT_EQ(played[5], "off 61");
    EXPECT_TRUE(onOne->events.empty() || onOne->events == std::vector<std::string>{"off-all"});
}

TEST_F(KeyboardWindowTest, LettersPlayWhiteAndBlackKeysZAndXShiftOctavesAndSpaceSustains) {
    Type('a');
    Type('w');
    Type('l');
    EXPECT_EQ(Played(), (std::vector<std::string>{"on 60 100", "off 60", "on 61 100", "off 61",
                                                  "on 74 100", "off 74"}));
    // A held key repeats without striking again; an octave up moves the letters, not the held
    // note, which ends where it began.
    Key(FL_KEYDOWN, 'd');
    Key(FL_KEYDOWN, 'd');
    Type('x');
    Key(FL_KEYUP, 'd');
    Type('d');
    Type('z');
    Type('z');
    Type('a');
    EXPECT_EQ(Played(), (std::vector<std::string>{"on 64 100", "off 64", "on 76 100", "off 76",
                                                  "on 48 100", "off 48"}));
    // The space bar holds the notes until it is let go.
    Key(FL_KEYDOWN, ' ');
    Type('g');
    Type('h');
    EXPECT_EQ(Played(), (std::vector<std::string>{"on 55 100", "on 57 100"}));
    Key(FL_KEYUP, ' ');
    EXPECT_EQ(Played(), (std::vector<std::string>{"off 55", "off 57"}));
    // Another channel: the module on channel 3 hears nothing more; closing ends held notes.
    Key(FL_KEYDOWN, 'a');
    keyboard.SetChannel(0);
    Type('s');
    EXPECT_EQ(Played(), (std::vector<std::string>{"on 48 100", "off 48"}));
    EXPECT_NE(std::find(onOne->events.begin(), onOne->events.end(), "on 50 100"),
              onOne->events.end());
    Key(FL_KEYDOWN, 'f');
    keyboard.Hide();
    EXPECT_EQ(onOne->events.back(), "off 53");
    // Keys with Ctrl are shortcuts for the windows, not notes.
    keyboard.Show();
    Fl::e_keysym = 'k';
    Fl::e_state = FL_CTRL;
    EXPECT_EQ(Keys().handle(FL_KEYDOWN), 0);
    Fl::e_state = 0;
}
