#include "gui/ModuleIcon.h"

#include "core/Rack.h"
#include "gui/Artwork.h"
#include "gui/RackView.h"
#include "gui/Scale.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <string>

using tUiScale::Px;

namespace {

// A pixel distance from the icon's corner as a point of its factor-1 picture.
int PictureUnits(int pixels) {
    return static_cast<int>(std::floor(pixels / tUiScale::Factor()));
}

} // namespace

tModuleIcon::tModuleIcon(tSlot& slot, tRackView& view)
    : Fl_Widget(Px(slot.X()), Px(slot.Y()), Px(kSize), Px(kSize)), mSlot(slot), mView(view) {
    tooltip("Channel box: left click up, right click down\n"
            "Lamp: switch on and off\n"
            "Drag from the socket on the right to an effects unit: connect or disconnect\n"
            "Right click: module menu");
}

void tModuleIcon::FollowSlot() {
    position(Px(mSlot.X()), Px(mSlot.Y()));
}

void tModuleIcon::draw() {
    DrawModuleFace(mSlot.Type(), mSlot.IsOn(), x(), y(), mView.LampBright(&mSlot));
    // The channel box with the channel 1..16.
    fl_draw_box(FL_THIN_DOWN_BOX, x() + Px(32), y() + Px(23), Px(22), Px(14), FL_WHITE);
    fl_font(FL_HELVETICA_BOLD, Px(10));
    fl_color(FL_BLACK);
    fl_draw(std::to_string(mSlot.GetChannel() + 1).c_str(), x() + Px(32), y() + Px(23), Px(22),
            Px(14), FL_ALIGN_CENTER);
}

int tModuleIcon::handle(int event) {
    switch (event) {
    case FL_PUSH:
        return Push();
    case FL_DRAG:
        Drag();
        return 1;
    case FL_RELEASE:
        Release();
        return 1;
    case FL_ENTER:
    case FL_LEAVE:
    case FL_MOVE:
        return 1;
    default:
        return 0;
    }
}

int tModuleIcon::Push() {
    if (mConnecting || !Fl::event_inside(this)) return 1;
    const int mx = Fl::event_x();
    const int my = Fl::event_y();
    const int dx = PictureUnits(mx - x());
    const int dy = PictureUnits(my - y());
    mDragOffsetX = mSlot.X() - tUiScale::ToLogical(mx);
    mDragOffsetY = mSlot.Y() - tUiScale::ToLogical(my);
    const int button = Fl::event_button();
    if (InChannelArea(dx, dy)) {
        StepChannel(button);
        return 1;
    }
    if (InConnector(dx, dy)) {
        mConnecting = true;
        if (window()) window()->cursor(FL_CURSOR_CROSS);
        return 1;
    }
    if (button == FL_RIGHT_MOUSE) {
        // The item may delete this icon: nothing of it is touched afterwards.
        const int item = mView.Popup(mx, my);
        if (item >= 0) mView.RunMenuItem(mSlot, item);
        return 1;
    }
    if (button == FL_LEFT_MOUSE && InOnOffArea(dx, dy)) Toggle();
    return 1;
}

void tModuleIcon::StepChannel(int button) {
    const int shown = mSlot.GetChannel() + 1;
    int channel = shown;
    if (button == FL_LEFT_MOUSE && shown <= 15) channel = shown + 1;
    if (button == FL_RIGHT_MOUSE && shown > 1) channel = shown - 1;
    {
        tRack::tGuard guard(mView.Rack());
        mSlot.SetChannel(channel);
    }
    redraw();
}

void tModuleIcon::Toggle() {
    {
        tRack::tGuard guard(mView.Rack());
        if (mSlot.IsOn())
            mSlot.SwitchOff();
        else
            mSlot.SwitchOn();
    }
    mView.Switched(mSlot);
    redraw();
}

void tModuleIcon::Drag() {
    const int mx = Fl::event_x();
    const int my = Fl::event_y();
    const tRackView& rack = mView;
    const bool insideRack =
        mx > rack.x() && mx < rack.x() + rack.w() && my > rack.y() && my < rack.y() + rack.h();
    if (!insideRack) return;
    if (mConnecting) {
        mView.SetRubberBand(&mSlot, mx, my);
        return;
    }
    if (InChannelArea(PictureUnits(mx - x()), PictureUnits(my - y()))) return;
    const tBox area = mView.LogicalArea();
    const int nx =
        std::clamp(tUiScale::ToLogical(mx) + mDragOffsetX, area.x, area.x + area.w - (kSize + 2));
    const int ny = std::clamp(tUiScale::ToLogical(my) + mDragOffsetY, area.y + kCaptionHeight,
                              area.y + area.h - (kSize + 2));
    if (nx != mSlot.X() || ny != mSlot.Y()) MoveTo(nx, ny);
}

void tModuleIcon::MoveTo(int nx, int ny) {
    const int ox = x();
    const int oy = y();
    mView.DamageLines(mSlot);
    mSlot.Move(nx, ny);
    FollowSlot();
    const int width = Px(kSize + 1 + 2 * kCaptionOverhang);
    const int height = Px(kSize + kCaptionHeight + 3);
    const int left = Px(kCaptionOverhang), up = Px(kCaptionHeight + 2);
    mView.damage(FL_DAMAGE_ALL, ox - left, oy - up, width, height);
    mView.damage(FL_DAMAGE_ALL, x() - left, y() - up, width, height);
    mView.DamageLines(mSlot);
}

void tModuleIcon::Release() {
    if (!mConnecting) return;
    mConnecting = false;
    if (window()) window()->cursor(FL_CURSOR_DEFAULT);
    mView.SetRubberBand(nullptr, -1, -1);
    if (tSlot* target = mView.TargetAt(mSlot)) mView.Wire(mSlot, *target);
    mView.redraw();
}
