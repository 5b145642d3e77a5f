#include "gui/ModuleIcon.h"

#include "core/Rack.h"
#include "gui/Artwork.h"
#include "gui/RackView.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

tModuleIcon::tModuleIcon(tSlot& slot, tRackView& view)
    : Fl_Widget(slot.X(), slot.Y(), kSize, kSize), mSlot(slot), mView(view) {
    tooltip("Channel box: left click up, right click down\n"
            "Lamp: switch on and off\n"
            "Drag from the socket on the right to an effects unit: connect or disconnect\n"
            "Right click: module menu");
}

void tModuleIcon::draw() {
    DrawModuleFace(mSlot.Type(), mSlot.IsOn(), x(), y());
    // The channel box with the channel 1..16.
    fl_draw_box(FL_THIN_DOWN_BOX, x() + 32, y() + 23, 22, 14, FL_WHITE);
    fl_font(FL_HELVETICA_BOLD, 10);
    fl_color(FL_BLACK);
    fl_draw(std::to_string(mSlot.GetChannel() + 1).c_str(), x() + 32, y() + 23, 22, 14,
            FL_ALIGN_CENTER);
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
    const int dx = mx - x();
    const int dy = my - y();
    mDragOffsetX = x() - mx;
    mDragOffsetY = y() - my;
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
    if (InChannelArea(mx - x(), my - y())) return;
    const int nx = std::clamp(mx + mDragOffsetX, rack.x(), rack.x() + rack.w() - (kSize + 2));
    const int ny =
        std::clamp(my + mDragOffsetY, rack.y() + kCaptionHeight, rack.y() + rack.h() - (kSize + 2));
    if (nx != x() || ny != y()) MoveTo(nx, ny);
}

void tModuleIcon::MoveTo(int nx, int ny) {
    const int ox = x();
    const int oy = y();
    mView.DamageLines(mSlot);
    position(nx, ny);
    mSlot.Move(nx, ny);
    const int width = kSize + 1 + 2 * kCaptionOverhang;
    const int height = kSize + kCaptionHeight + 3;
    mView.damage(FL_DAMAGE_ALL, ox - kCaptionOverhang, oy - kCaptionHeight - 2, width, height);
    mView.damage(FL_DAMAGE_ALL, nx - kCaptionOverhang, ny - kCaptionHeight - 2, width, height);
    mView.DamageLines(mSlot);
}

void tModuleIcon::Release() {
    if (!mConnecting) return;
    mConnecting = false;
    if (window()) window()->cursor(FL_CURSOR_DEFAULT);
    mView.SetRubberBand(nullptr, -1, -1);
    if (tSlot* target = mView.TargetAt(mSlot)) mView.Rack().Connect(&mSlot, target);
    mView.redraw();
}
