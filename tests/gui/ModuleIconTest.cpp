#include "GuiTestSupport.h"

#include "catalog/ModuleFactory.h"
#include "gui/ModuleIcon.h"
#include "gui/RackView.h"

using guitest::Click;
using guitest::Drag;

namespace {

class ModuleIconTest : public guitest::MainWindowTest {
protected:
    tSlot* Add(int type, int x, int y) {
        tSlot* slot = CreateModule(type, x, y).release();
        rack.Insert(slot);
        window->RackView().Sync();
        return slot;
    }
    void SetChannel(tSlot* slot, int channel) {
        tRack::tGuard guard(rack);
        slot->SetChannel(channel);
    }
    // A point of slot's icon, relative to its corner.
    void ClickAt(const tSlot* slot, int dx, int dy, int button = FL_LEFT_MOUSE) {
        Click(Win(), slot->X() + dx, slot->Y() + dy, button);
    }
    // Drags from slot's output connector to the middle of target's icon.
    void Wire(const tSlot* from, const tSlot* target) {
        Drag(Win(), from->X() + 59, from->Y() + 33, target->X() + 30, target->Y() + 40);
    }
    bool Feeds(const tSlot* from, const tSlot* to) const {
        return std::find(from->Outputs().begin(), from->Outputs().end(), to) !=
               from->Outputs().end();
    }
};

constexpr int kChannelX = 44, kChannelY = 30;
constexpr int kLampX = 56, kLampY = 12;
constexpr int kBodyX = 20, kBodyY = 50;

} // namespace

TEST_F(ModuleIconTest, ChannelClicksStepUpWithTheLeftButtonAndDownWithTheRightWithinOneTo16) {
    tSlot* string = Add(kStringModule, 100, 100);
    ClickAt(string, kChannelX, kChannelY);
    EXPECT_EQ(string->GetChannel(), 1); // channel box shows 2
    ClickAt(string, kChannelX, kChannelY, FL_RIGHT_MOUSE);
    EXPECT_EQ(string->GetChannel(), 0);
    ClickAt(string, kChannelX, kChannelY, FL_RIGHT_MOUSE); // at 1 it stays 1
    EXPECT_EQ(string->GetChannel(), 0);
    SetChannel(string, 16);
    ClickAt(string, kChannelX, kChannelY); // at 16 it stays 16
    EXPECT_EQ(string->GetChannel(), 15);
    ClickAt(string, kChannelX, kChannelY, FL_RIGHT_MOUSE);
    EXPECT_EQ(string->GetChannel(), 14);
    EXPECT_FALSE(string->IsOn()); // no click on the channel box switched the module
}

TEST_F(ModuleIconTest, TheLampSwitchesTheModuleOnAndOffAndTheBodyDoesNot) {
    tSlot* flute = Add(kFluteModule, 200, 120);
    int popups = 0;
    window->RackView().SetPopup([&](int, int) {
        ++popups;
        return -1;
    });
    ClickAt(flute, kLampX, kLampY);
    EXPECT_TRUE(flute->IsOn());
    ClickAt(flute, kBodyX, kBodyY);
    EXPECT_TRUE(flute->IsOn());
    ClickAt(flute, kLampX, kLampY);
    EXPECT_FALSE(flute->IsOn());
    // The right button opens the module menu, wherever it is pressed outside the channel box.
    ClickAt(flute, kLampX, kLampY, FL_RIGHT_MOUSE);
    EXPECT_EQ(popups, 1);
    EXPECT_FALSE(flute->IsOn());
}

TEST_F(ModuleIconTest, DraggedIconsStayInsideTheRackWithRoomForTheirCaption) {
    tSlot* effects = Add(kEffectsModule, 200, 150);
    const tModuleIcon* icon = window->RackView().IconOf(effects);
    // Towards the rack's top left corner: x at the rack's edge, y 10 below it.
    Drag(Win(), 200 + kBodyX, 150 + kBodyY, 8, 35);
    EXPECT_EQ(effects->X(), 7);
    EXPECT_EQ(effects->Y(), 44);
    EXPECT_EQ(icon->x(), 7);
    EXPECT_EQ(icon->y(), 44);
    // Towards the bottom right corner: 66 pixels from the rack's far edges.
    Drag(Win(), 7 + kBodyX, 44 + kBodyY, 584, 333);
    EXPECT_EQ(effects->X(), 7 + 578 - 66);
    EXPECT_EQ(effects->Y(), 34 + 300 - 66);
    // A move within the rack lands where the mouse takes it.
    Drag(Win(), effects->X() + kBodyX, effects->Y() + kBodyY, 300 + kBodyX, 120 + kBodyY);
    EXPECT_EQ(effects->X(), 300);
    EXPECT_EQ(effects->Y(), 120);
    EXPECT_EQ(icon->x(), 300);
    // Dragged outside the rack, the icon stays where it is.
    guitest::Send(Win(), FL_PUSH, 300 + kBodyX, 120 + kBodyY, FL_LEFT_MOUSE);
    guitest::Send(Win(), FL_DRAG, 300 + kBodyX, 350, FL_LEFT_MOUSE);
    guitest::Send(Win(), FL_RELEASE, 300 + kBodyX, 350, FL_LEFT_MOUSE);
    EXPECT_EQ(effects->Y(), 120);
}

TEST_F(ModuleIconTest, DraggingFromTheConnectorWiresIntoEffectsUnitsTogglesAndRefusesCycles) {
    tSlot* string = Add(kStringModule, 40, 100);
    tSlot* other = Add(kStringModule, 40, 230);
    tSlot* first = Add(kEffectsModule, 220, 100);
    tSlot* second = Add(kEffectsModule, 420, 100);

    Wire(string, first);
    EXPECT_TRUE(Feeds(string, first));
    EXPECT_EQ(string->X(), 40); // connecting does not move the source
    Wire(string, first);        // a second drag removes the wire
    EXPECT_FALSE(Feeds(string, first));
    EXPECT_TRUE(first->Inputs().empty());

    Wire(string, first);
    Wire(first, second);
    EXPECT_TRUE(Feeds(first, second));
    EXPECT_TRUE(window->RackView().Status().empty());
    Wire(second, first); // would close a loop: refused, and the status line says so
    EXPECT_FALSE(Feeds(second, first));
    EXPECT_NE(window->RackView().Status().find("Not connected"), std::string::npos);
    Wire(second, string); // an instrument takes no input
    Wire(string, other);
    EXPECT_TRUE(string->Inputs().empty());
    EXPECT_TRUE(other->Inputs().empty());
    EXPECT_EQ(string->Outputs().size(), 1u);
    // Released over empty rack: nothing changes.
    Drag(Win(), string->X() + 59, string->Y() + 33, 300, 300);
    EXPECT_EQ(string->Outputs().size(), 1u);
}

TEST_F(ModuleIconTest, TheModuleMenuDrivesTheEditorAndDeleteRemovesModuleIconEditorAndWires) {
    tSlot* string = Add(kStringModule, 40, 100);
    tSlot* effects = Add(kEffectsModule, 220, 100);
    Wire(string, effects);
    ASSERT_TRUE(Feeds(string, effects));
    const std::string id = std::to_string(string->Id());
    int next = -1;
    window->RackView().SetPopup([&](int, int) { return next; });
    log.clear();
    for (int item : {tRackView::kOpen, tRackView::kLoad, tRackView::kSave, tRackView::kClose}) {
        next = item;
        ClickAt(string, kBodyX, kBodyY, FL_RIGHT_MOUSE);
    }
    EXPECT_EQ(log,
              (std::vector<std::string>{"open " + id, "load " + id, "save " + id, "close " + id}));
    EXPECT_TRUE(window->RackView().EditorOf(string)->IsOpen() == false);

    next = tRackView::kOpen;
    ClickAt(string, kBodyX, kBodyY, FL_RIGHT_MOUSE);
    log.clear();
    next = tRackView::kDelete;
    ClickAt(string, kBodyX, kBodyY, FL_RIGHT_MOUSE);
    EXPECT_EQ(log, (std::vector<std::string>{"close " + id, "destroyed " + id}));
    ASSERT_EQ(rack.Slots().size(), 1u);
    EXPECT_EQ(rack.Slots()[0], effects);
    EXPECT_TRUE(effects->Inputs().empty());
    EXPECT_EQ(window->RackView().IconCount(), 1u);
    EXPECT_EQ(window->RackView().children(), 1);
}

TEST_F(ModuleIconTest, NotesThatCannotSoundAreToldInTheStatusLineAndTheCulpritsLampCalls) {
    tRackView& view = window->RackView();
    const auto told = [&](int channel) {
        rack.NoteOn(channel, 60, 100);
        rack.NoteOff(channel, 60);
        window->WatchNotes();
        return view.Status();
    };
    EXPECT_NE(told(0).find("no instrument"), std::string::npos);
    tSlot* string = Add(kStringModule, 40, 100);
    tSlot* effects = Add(kEffectsModule, 220, 100);
    Wire(string, effects);
    EXPECT_NE(told(3).find("MIDI channel 4, but no instrument listens"), std::string::npos);
    EXPECT_NE(told(0).find("\"" + string->Caption() + "\" is switched off"), std::string::npos);
    EXPECT_TRUE(view.Calling(string));
    ClickAt(string, kLampX, kLampY); // switching it on ends the call
    EXPECT_FALSE(view.Calling(string));
    EXPECT_NE(told(0).find("plays into the effects unit"), std::string::npos);
    EXPECT_TRUE(view.Calling(effects));
    ClickAt(effects, kLampX, kLampY);
    EXPECT_NE(told(0).find("audio is off"), std::string::npos);
    // Heard: nothing more is said (the last message stays until it times out).
    view.Tell("");
    StartTicking();
    Click(Win(), 535, 14); // "On"
    ASSERT_TRUE(callback.IsOn());
    EXPECT_EQ(told(0), "");
}
