#include "gui/RackView.h"

#include "core/Rack.h"
#include "gui/Artwork.h"
#include "gui/ModuleIcon.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdlib>

namespace {

// Lines are drawn in this entry of the toolkit's colour map.
constexpr Fl_Color kLineColour = 125;
constexpr int kLineWidth = 2;
constexpr int kLineMargin = 10;
constexpr int kCaptionFontSize = 10;

int MenuPopup(int x, int y) {
    static Fl_Menu_Item items[6] = {};
    static const char* const labels[5] = {"Open", "Close", "Load", "Save", "Delete"};
    for (int i = 0; i < 5; ++i) items[i].label(labels[i]);
    const Fl_Menu_Item* chosen = items->popup(x, y);
    return chosen ? static_cast<int>(chosen - items) : -1;
}

} // namespace

tRackView::tRackView(int x, int y, int w, int h, tRack& rack, tConfig& config,
                     tEditorFactory editors)
    : Fl_Group(x, y, w, h), mRack(rack), mContext{rack, config, [this] { redraw(); }},
      mEditors(std::move(editors)), mPopup(MenuPopup) {
    end();
}

tRackView::~tRackView() {
    DropViews();
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

void tRackView::SetRubberBand(const tSlot* source, int x, int y) {
    if (mBandSource)
        DamageLine(mBandSource->X() + tModuleIcon::kSize, mBandSource->Y() + tModuleIcon::kAnchorY,
                   mBandX, mBandY);
    mBandSource = source;
    mBandX = x;
    mBandY = y;
    if (mBandSource)
        DamageLine(mBandSource->X() + tModuleIcon::kSize, mBandSource->Y() + tModuleIcon::kAnchorY,
                   mBandX, mBandY);
}

tSlot* tRackView::TargetAt(const tSlot& source) const {
    for (int i = 0; i < children(); ++i) {
        auto* icon = dynamic_cast<tModuleIcon*>(child(i));
        if (!icon || &icon->Slot() == &source || !icon->Slot().AcceptsInput()) continue;
        if (Fl::event_inside(icon)) return &icon->Slot();
    }
    return nullptr;
}

void tRackView::DamageLine(int x0, int y0, int x1, int y1) {
    const int left = std::min(x0, x1) - kLineMargin;
    const int top = std::min(y0, y1) - kLineMargin;
    damage(FL_DAMAGE_ALL, left, top, std::abs(x1 - x0) + 2 * kLineMargin,
           std::abs(y1 - y0) + 2 * kLineMargin);
}

void tRackView::DamageLines(const tSlot& slot) {
    for (const tSlot* input : slot.Inputs())
        DamageLine(input->X() + tModuleIcon::kSize, input->Y() + tModuleIcon::kAnchorY, slot.X(),
                   slot.Y() + tModuleIcon::kAnchorY);
    for (const tSlot* output : slot.Outputs())
        DamageLine(slot.X() + tModuleIcon::kSize, slot.Y() + tModuleIcon::kAnchorY, output->X(),
                   output->Y() + tModuleIcon::kAnchorY);
}

void tRackView::DrawCaptions() {
    fl_font(FL_HELVETICA, kCaptionFontSize);
    fl_color(fl_rgb_color(232, 232, 226));
    for (const tView& view : mViews) {
        const tModuleIcon& icon = *view.icon;
        fl_draw(view.slot->Caption().c_str(), icon.x() - tModuleIcon::kCaptionOverhang,
                icon.y() - tModuleIcon::kCaptionHeight - 1,
                tModuleIcon::kSize + 2 * tModuleIcon::kCaptionOverhang,
                tModuleIcon::kCaptionHeight + 1, FL_ALIGN_CENTER | FL_ALIGN_CLIP);
    }
}

void tRackView::draw() {
    fl_push_clip(x(), y(), w(), h());
    // A redrawn icon alone only needs itself and the lines over it.
    const bool whole = (damage() & ~FL_DAMAGE_CHILD) != 0;
    if (whole) DrawRackBackground(x(), y(), w(), h());
    draw_children();
    if (whole) DrawCaptions();
    fl_color(kLineColour);
    fl_line_style(FL_SOLID | FL_CAP_ROUND, kLineWidth);
    for (const tView& view : mViews)
        for (const tSlot* input : view.slot->Inputs())
            fl_line(input->X() + tModuleIcon::kSize, input->Y() + tModuleIcon::kAnchorY,
                    view.slot->X(), view.slot->Y() + tModuleIcon::kAnchorY);
    if (mBandSource && mBandX > 0 && mBandY > 0)
        fl_line(mBandSource->X() + tModuleIcon::kSize, mBandSource->Y() + tModuleIcon::kAnchorY,
                mBandX, mBandY);
    fl_line_style(0);
    fl_pop_clip();
}
