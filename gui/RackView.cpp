#include "gui/RackView.h"

#include "core/Rack.h"
#include "gui/Artwork.h"
#include "gui/GuiTimer.h"
#include "gui/ModuleIcon.h"
#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdlib>

using tUiScale::Px;

namespace {

// Lines are drawn in this entry of the toolkit's colour map.
constexpr Fl_Color kLineColour = 125;
constexpr int kLineWidth = 2;
constexpr int kLineMargin = 10;
constexpr int kCaptionFontSize = 10;
constexpr int kHintFontSize = 13;
constexpr int kStatusFontSize = 12;
constexpr int kStatusHeight = 18;

constexpr const char* kHint =
    "The rack is empty.\n\n"
    "Add a module from \"New\" or \"Presets\".\n"
    "Drag from an instrument's right-hand socket into an effects unit to connect them.\n"
    "Click a module's lamp to switch it on, then press \"On\".\n"
    "No MIDI keyboard? Options \xE2\x86\x92 Keyboard (Ctrl+K) plays from the computer.";

int MenuPopup(int x, int y) {
    static Fl_Menu_Item items[6] = {};
    static const char* const labels[5] = {"Open", "Close", "Load\xE2\x80\xA6", "Save\xE2\x80\xA6",
                                          "Delete"};
    for (int i = 0; i < 5; ++i) {
        items[i].label(labels[i]);
        items[i].labeltype(tSkin::MenuLabel());
    }
    items[1].flags = FL_MENU_DIVIDER;
    items[3].flags = FL_MENU_DIVIDER;
    // The menu takes its look and text size from a styled menu button.
    static Fl_Menu_Button* style = [] {
        Fl_Group* outer = Fl_Group::current();
        Fl_Group::current(nullptr);
        auto* button = new Fl_Menu_Button(0, 0, 1, 1);
        Fl_Group::current(outer);
        tSkin::StyleMenu(*button);
        button->box(FL_UP_BOX);
        return button;
    }();
    style->textsize(static_cast<Fl_Fontsize>(Px(13)));
    const Fl_Menu_Item* chosen = items->popup(x, y, nullptr, nullptr, style);
    return chosen ? static_cast<int>(chosen - items) : -1;
}

} // namespace

tRackView::tRackView(int x, int y, int w, int h, tRack& rack, tConfig& config,
                     tEditorFactory editors)
    : Fl_Group(x, y, w, h), mRack(rack), mContext{rack, config, [this] { redraw(); }},
      mEditors(std::move(editors)), mPopup(MenuPopup) {
    end();
    tGuiTimer::Add(this, [this] { Tick(); });
}

tRackView::~tRackView() {
    tGuiTimer::Remove(this);
    DropViews();
}

void tRackView::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    for (tView& view : mViews) view.icon->FollowSlot();
}

void tRackView::Sync() {
    for (tSlot* slot : mRack.Slots()) {
        if (IconOf(slot)) continue;
        auto* icon = new tModuleIcon(*slot, *this);
        add(icon);
        mViews.push_back({slot, icon, mEditors ? mEditors(*slot, mContext) : nullptr});
    }
    redraw();
}

void tRackView::DropView(std::size_t index) {
    tView& view = mViews[index];
    if (view.editor) view.editor->Close();
    view.editor.reset();
    if (mCalled == view.slot) mCalled = nullptr;
    remove(view.icon);
    delete view.icon;
    mViews.erase(mViews.begin() + static_cast<std::ptrdiff_t>(index));
}

void tRackView::DropViews() {
    while (!mViews.empty()) DropView(mViews.size() - 1);
    mBandSource = nullptr;
    redraw();
}

void tRackView::Clear() {
    DropViews();
    mRack.Clear();
    redraw();
}

tModuleIcon* tRackView::IconOf(const tSlot* slot) const {
    for (const tView& view : mViews)
        if (view.slot == slot) return view.icon;
    return nullptr;
}

tEditorWindow* tRackView::EditorOf(const tSlot* slot) const {
    for (const tView& view : mViews)
        if (view.slot == slot) return view.editor.get();
    return nullptr;
}

std::vector<tEditorWindow*> tRackView::OpenEditors() const {
    std::vector<tEditorWindow*> open;
    for (const tView& view : mViews)
        if (view.editor && view.editor->IsOpen()) open.push_back(view.editor.get());
    return open;
}

// --- placement -------------------------------------------------------------------------------

tBox tRackView::LogicalArea() const {
    return {tUiScale::ToLogical(x()), tUiScale::ToLogical(y()), tUiScale::ToLogical(w()),
            tUiScale::ToLogical(h())};
}

int tRackView::CaptionWidth(const tSlot& slot) const {
    // Measured at the factor-1 size; never wider than the strip it is drawn in.
    fl_font(FL_HELVETICA, kCaptionFontSize);
    const int width = static_cast<int>(fl_width(slot.Caption().c_str())) + 4;
    return std::min(width, tModuleIcon::kSize + 2 * tModuleIcon::kCaptionOverhang);
}

tBox tRackView::FootprintOf(const tSlot& slot) const {
    return tPlacement::Footprint(slot.X(), slot.Y(), CaptionWidth(slot));
}

void tRackView::Place(const std::vector<tSlot*>& slots) {
    std::vector<tBox> group, taken;
    for (const tSlot* slot : mRack.Slots()) {
        if (std::find(slots.begin(), slots.end(), slot) != slots.end())
            group.push_back(FootprintOf(*slot));
        else
            taken.push_back(FootprintOf(*slot));
    }
    const tPoint offset = tPlacement::NearestFree(group, taken, LogicalArea());
    for (tSlot* slot : slots) {
        slot->Move(slot->X() + offset.x, slot->Y() + offset.y);
        if (tModuleIcon* icon = IconOf(slot)) icon->FollowSlot();
    }
    redraw();
}

// --- module menu ---------------------------------------------------------------------------

int tRackView::Popup(int x, int y) const {
    return mPopup ? mPopup(x, y) : -1;
}

void tRackView::RunMenuItem(tSlot& slot, int item) {
    auto found = std::find_if(mViews.begin(), mViews.end(),
                              [&](const tView& view) { return view.slot == &slot; });
    if (found == mViews.end()) return;
    tEditorWindow* editor = found->editor.get();
    switch (item) {
    case kOpen:
        if (editor) editor->Open();
        break;
    case kClose:
        if (editor) editor->Close();
        break;
    case kLoad:
        if (editor) editor->LoadDialog();
        redraw();
        break;
    case kSave:
        if (editor) editor->SaveDialog();
        redraw();
        break;
    case kDelete:
        if (mBandSource == &slot) mBandSource = nullptr;
        DropView(static_cast<std::size_t>(found - mViews.begin()));
        mRack.Delete(&slot);
        redraw();
        break;
    default:
        break;
    }
}

// --- connections -----------------------------------------------------------------------------

void tRackView::SetRubberBand(const tSlot* source, int x, int y) {
    if (mBandSource)
        DamageLine(Px(mBandSource->X() + tModuleIcon::kSize),
                   Px(mBandSource->Y() + tModuleIcon::kAnchorY), mBandX, mBandY);
    mBandSource = source;
    mBandX = x;
    mBandY = y;
    if (mBandSource)
        DamageLine(Px(mBandSource->X() + tModuleIcon::kSize),
                   Px(mBandSource->Y() + tModuleIcon::kAnchorY), mBandX, mBandY);
}

tSlot* tRackView::TargetAt(const tSlot& source) const {
    for (int i = 0; i < children(); ++i) {
        auto* icon = dynamic_cast<tModuleIcon*>(child(i));
        if (!icon || &icon->Slot() == &source || !icon->Slot().AcceptsInput()) continue;
        if (Fl::event_inside(icon)) return &icon->Slot();
    }
    return nullptr;
}

void tRackView::Wire(tSlot& source, tSlot& target) {
    const auto feeds = [&] {
        const auto& outputs = source.Outputs();
        return std::find(outputs.begin(), outputs.end(), &target) != outputs.end();
    };
    const bool before = feeds();
    mRack.Connect(&source, &target);
    if (before || feeds()) return;
    Tell("Not connected: \"" + target.Caption() + "\" already feeds \"" + source.Caption() +
         "\", and a signal must not run in a loop.");
}

void tRackView::DamageLine(int x0, int y0, int x1, int y1) {
    const int margin = Px(kLineMargin);
    const int left = std::min(x0, x1) - margin;
    const int top = std::min(y0, y1) - margin;
    damage(FL_DAMAGE_ALL, left, top, std::abs(x1 - x0) + 2 * margin,
           std::abs(y1 - y0) + 2 * margin);
}

void tRackView::DamageLines(const tSlot& slot) {
    for (const tSlot* input : slot.Inputs())
        DamageLine(Px(input->X() + tModuleIcon::kSize), Px(input->Y() + tModuleIcon::kAnchorY),
                   Px(slot.X()), Px(slot.Y() + tModuleIcon::kAnchorY));
    for (const tSlot* output : slot.Outputs())
        DamageLine(Px(slot.X() + tModuleIcon::kSize), Px(slot.Y() + tModuleIcon::kAnchorY),
                   Px(output->X()), Px(output->Y() + tModuleIcon::kAnchorY));
}

// --- status line and calling lamps --------------------------------------------------------------

void tRackView::DamageStatus() {
    damage(FL_DAMAGE_ALL, x(), y() + h() - Px(kStatusHeight), w(), Px(kStatusHeight));
}

void tRackView::Tell(const std::string& text) {
    mStatus = text;
    mStatusUntil = tClock::now() + kStatusTime;
    DamageStatus();
}

void tRackView::Call(const tSlot& slot) {
    mCalled = &slot;
    mCallUntil = tClock::now() + kCallTime;
}

void tRackView::Switched(const tSlot& slot) {
    if (mCalled != &slot) return;
    mCalled = nullptr;
    mBlinkBright = false;
}

bool tRackView::Calling(const tSlot* slot) const {
    return slot != nullptr && slot == mCalled;
}

bool tRackView::LampBright(const tSlot* slot) const {
    return Calling(slot) && mBlinkBright;
}

void tRackView::Tick() {
    const tClock::time_point now = tClock::now();
    if (!mStatus.empty() && now >= mStatusUntil) {
        mStatus.clear();
        DamageStatus();
        redraw(); // icons under the line
    }
    if (mCalled != nullptr) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(mCallUntil - now);
        const bool bright = left.count() > 0 && (left.count() / 300) % 2 == 0;
        tModuleIcon* icon = IconOf(mCalled);
        if (left.count() <= 0) mCalled = nullptr;
        if (bright != mBlinkBright || mCalled == nullptr) {
            mBlinkBright = bright && mCalled != nullptr;
            if (icon) icon->redraw();
        }
    }
}

// --- drawing -------------------------------------------------------------------------------

void tRackView::DrawCaptions() {
    fl_font(FL_HELVETICA, Px(kCaptionFontSize));
    fl_color(fl_rgb_color(232, 232, 226));
    for (const tView& view : mViews) {
        const tModuleIcon& icon = *view.icon;
        fl_draw(view.slot->Caption().c_str(), icon.x() - Px(tModuleIcon::kCaptionOverhang),
                icon.y() - Px(tModuleIcon::kCaptionHeight + 1),
                Px(tModuleIcon::kSize + 2 * tModuleIcon::kCaptionOverhang),
                Px(tModuleIcon::kCaptionHeight + 1), FL_ALIGN_CENTER | FL_ALIGN_CLIP);
    }
}

void tRackView::DrawLines() {
    fl_color(kLineColour);
    fl_line_style(FL_SOLID | FL_CAP_ROUND, Px(kLineWidth));
    for (const tView& view : mViews)
        for (const tSlot* input : view.slot->Inputs())
            fl_line(Px(input->X() + tModuleIcon::kSize), Px(input->Y() + tModuleIcon::kAnchorY),
                    Px(view.slot->X()), Px(view.slot->Y() + tModuleIcon::kAnchorY));
    if (mBandSource && mBandX > 0 && mBandY > 0)
        fl_line(Px(mBandSource->X() + tModuleIcon::kSize),
                Px(mBandSource->Y() + tModuleIcon::kAnchorY), mBandX, mBandY);
    fl_line_style(0);
}

void tRackView::DrawHint() {
    fl_font(FL_HELVETICA, Px(kHintFontSize));
    fl_color(tSkin::DimText());
    fl_draw(kHint, x() + Px(12), y() + Px(12), w() - Px(24), h() - Px(24) - Px(kStatusHeight),
            FL_ALIGN_CENTER | FL_ALIGN_WRAP);
}

void tRackView::DrawStatus() {
    const int sh = Px(kStatusHeight);
    const int sy = y() + h() - sh;
    fl_color(fl_rgb_color(14, 14, 17));
    fl_rectf(x() + 1, sy, w() - 2, sh - 1);
    fl_color(tSkin::Amber());
    fl_xyline(x() + 1, sy, x() + w() - 2);
    fl_font(FL_HELVETICA, Px(kStatusFontSize));
    fl_color(fl_rgb_color(255, 226, 150));
    fl_draw(mStatus.c_str(), x() + Px(8), sy, w() - Px(16), sh, FL_ALIGN_LEFT | FL_ALIGN_CLIP);
}

void tRackView::draw() {
    fl_push_clip(x(), y(), w(), h());
    // A redrawn icon alone only needs itself and the lines over it.
    const bool whole = (damage() & ~FL_DAMAGE_CHILD) != 0;
    if (whole) DrawRackBackground(x(), y(), w(), h());
    if (whole && mViews.empty()) DrawHint();
    draw_children();
    if (whole) DrawCaptions();
    DrawLines();
    if (!mStatus.empty()) DrawStatus();
    fl_pop_clip();
}
