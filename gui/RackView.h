// The rack area of the main window: one icon and one editor window per module of the rack,
// the connection lines between them and the rubber band of a connection being dragged.
//
// The rack owns the modules; the view follows it. After anything that adds modules (the
// "New" and "Presets" menus, inserting a rack file) Sync() makes the icons and editors of the
// new modules. Before anything that removes modules wholesale (clearing, loading a rack file)
// DropViews() destroys every icon and editor first, so that no view outlives its module.
#pragma once

#include "gui/EditorWindow.h"

#include <FL/Fl_Group.H>

#include <functional>
#include <memory>
#include <vector>

class tModuleIcon;
class tRack;
class tSlot;
class tConfig;

class tRackView : public Fl_Group {
public:
    // The module menu's items, in order.
    enum tMenuItem { kOpen, kClose, kLoad, kSave, kDelete };
    // Shows the module menu at the mouse and returns the chosen item, or -1.
    using tPopup = std::function<int(int x, int y)>;

    tRackView(int x, int y, int w, int h, tRack& rack, tConfig& config, tEditorFactory editors);
    ~tRackView() override;

    tRack& Rack() { return mRack; }

    // Icons and editors for the modules that have none yet.
    void Sync();
    // Destroys every icon and editor (the modules stay in the rack).
    void DropViews();
    // File -> "Clear": the views, then the rack's modules.
    void Clear();

    tModuleIcon* IconOf(const tSlot* slot) const;
    tEditorWindow* EditorOf(const tSlot* slot) const;
    std::size_t IconCount() const { return mViews.size(); }

    // The module menu: shown by a right click on an icon; the item runs on that module.
    void SetPopup(tPopup popup) { mPopup = std::move(popup); }
    int Popup(int x, int y) const;
    // Runs one menu item. kDelete closes and destroys the editor, the icon and the module.
    void RunMenuItem(tSlot& slot, int item);

    // The connection being dragged out of source, ending at (x, y); null source: none.
    void SetRubberBand(const tSlot* source, int x, int y);
    // The first icon under the mouse, in child order, that is not source and accepts input.
    tSlot* TargetAt(const tSlot& source) const;
    // Damages the area of every line to and from slot.
    void DamageLines(const tSlot& slot);

protected:
    void draw() override;

private:
    struct tView {
        tSlot* slot;
        tModuleIcon* icon;
        std::unique_ptr<tEditorWindow> editor;
    };
    void DropView(std::size_t index);
    void DamageLine(int x0, int y0, int x1, int y1);
    void DrawCaptions();

    tRack& mRack;
    tModuleContext mContext;
    tEditorFactory mEditors;
    tPopup mPopup;
    std::vector<tView> mViews;
    const tSlot* mBandSource = nullptr;
    int mBandX = -1;
    int mBandY = -1;
};
