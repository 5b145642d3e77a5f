// A module's icon in the rack: its 64 x 64 picture (on or off), the MIDI channel box, the
// on/off lamp and the output connector, with the caption above it. Sizes and positions here
// are at factor 1 (the slot keeps its position so); the icon is drawn at the UI scale.
//
// Mouse, relative to the icon's corner: a click in the channel area (35, 23, 19 x 14) steps
// the channel up (left button, at most 16) or down (right button, at least 1); a left click
// in the on/off area (50, 5, 12 x 14) switches the module; a drag from the output connector
// (54, 28, 10 x 10) to an effects unit connects the two (a second drag removes the wire; a
// connection that would close a loop is refused and the rack's status line says so); a right
// click elsewhere opens the module menu; a left drag elsewhere moves the icon, kept inside
// the rack.
#pragma once

#include <FL/Fl_Widget.H>

class tSlot;
class tRackView;

class tModuleIcon : public Fl_Widget {
public:
    static constexpr int kSize = 64;
    // Connection lines leave at (64, 33) on the source and arrive at (0, 33) on the target.
    static constexpr int kAnchorY = 33;
    // The caption strip above an icon (kept inside the rack) and how far a caption may
    // reach beyond the icon's sides.
    static constexpr int kCaptionHeight = 10;
    static constexpr int kCaptionOverhang = 24;

    tModuleIcon(tSlot& slot, tRackView& view);

    tSlot& Slot() const { return mSlot; }
    bool Connecting() const { return mConnecting; }
    // Puts the icon where its slot is.
    void FollowSlot();

    // The sensitive areas, relative to the icon's corner.
    static bool InChannelArea(int dx, int dy) { return Inside(dx, dy, 35, 23, 19, 14); }
    static bool InOnOffArea(int dx, int dy) { return Inside(dx, dy, 50, 5, 12, 14); }
    static bool InConnector(int dx, int dy) { return Inside(dx, dy, 54, 28, 10, 10); }

    int handle(int event) override;

protected:
    void draw() override;

private:
    static bool Inside(int dx, int dy, int x, int y, int w, int h) {
        return dx >= x && dx < x + w && dy >= y && dy < y + h;
    }
    int Push();
    void Drag();
    void Release();
    void StepChannel(int button);
    void Toggle();
    void MoveTo(int x, int y);

    tSlot& mSlot;
    tRackView& mView;
    bool mConnecting = false;
    int mDragOffsetX = 0; // at factor 1
    int mDragOffsetY = 0;
};
