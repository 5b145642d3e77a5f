// The rack area of the main window: one icon and one editor window per module of the rack,
// the connection lines between them and the rubber band of a connection being dragged, the
// hint an empty rack shows and the status line at its bottom.
//
// The rack owns the modules; the view follows it. After anything that adds modules (the
// "New" and "Presets" menus, inserting a rack file) Sync() makes the icons and editors of the
// new modules. Before anything that removes modules wholesale (clearing, loading a rack file)
// DropViews() destroys every icon and editor first, so that no view outlives its module.
//
// Slots keep their positions at factor 1; the view shows them at the UI scale. When the view
// grows with the window the icons keep their places.
#pragma once

#include "gui/EditorWindow.h"
#include "gui/Placement.h"

#include <FL/Fl_Group.H>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
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
    using tClock = std::chrono::steady_clock;
    // How long a status message stays and a lamp calls.
    static constexpr std::chrono::seconds kStatusTime{8};
    static constexpr std::chrono::seconds kCallTime{4};

    tRackView(int x, int y, int w, int h, tRack& rack, tConfig& config, tEditorFactory editors);
    ~tRackView() override;

    tRack& Rack() { return mRack; }
    // The view's box, icons staying where their slots are.
    void resize(int x, int y, int w, int h) override;

    // Icons and editors for the modules that have none yet.
    void Sync();
    // Destroys every icon and editor (the modules stay in the rack).
    void DropViews();
    // File -> "Clear": the views, then the rack's modules.
    void Clear();

    tModuleIcon* IconOf(const tSlot* slot) const;
    tEditorWindow* EditorOf(const tSlot* slot) const;
    std::size_t IconCount() const { return mViews.size(); }
    // Every editor window that is open, for the keys that close them.
    std::vector<tEditorWindow*> OpenEditors() const;

    // The rack at factor 1 (the coordinates slots keep).
    tBox LogicalArea() const;
    // Moves slots (the modules of one preset, or one new module) together to the nearest
    // place where none of them meets another module or its caption, inside the rack.
    void Place(const std::vector<tSlot*>& slots);
    // A slot's footprint: its icon and its caption.
    tBox FootprintOf(const tSlot& slot) const;

    // The module menu: shown by a right click on an icon; the item runs on that module.
    void SetPopup(tPopup popup) { mPopup = std::move(popup); }
    int Popup(int x, int y) const;
    // Runs one menu item. kDelete closes and destroys the editor, the icon and the module.
    void RunMenuItem(tSlot& slot, int item);

    // The connection being dragged out of source, ending at (x, y); null source: none.
    void SetRubberBand(const tSlot* source, int x, int y);
    // The first icon under the mouse, in child order, that is not source and accepts input.
    tSlot* TargetAt(const tSlot& source) const;
    // Connects source to target, or removes that connection; a connection that would close a
    // loop is refused, and the status line says so.
    void Wire(tSlot& source, tSlot& target);
    // Damages the area of every line to and from slot.
    void DamageLines(const tSlot& slot);

    // The status line at the bottom of the rack: text shown for kStatusTime.
    void Tell(const std::string& text);
    const std::string& Status() const { return mStatus; }
    // The slot's lamp blinks for kCallTime (notes arrive while it is off); switching it ends
    // the call.
    void Call(const tSlot& slot);
    void Switched(const tSlot& slot);
    bool Calling(const tSlot* slot) const;
    // Whether the slot's lamp is in the bright half of its blink now.
    bool LampBright(const tSlot* slot) const;
    // The timer's step: blinking lamps, the status line's end.
    void Tick();

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
    void DamageStatus();
    void DrawCaptions();
    void DrawLines();
    void DrawHint();
    void DrawStatus();
    int CaptionWidth(const tSlot& slot) const;

    tRack& mRack;
    tModuleContext mContext;
    tEditorFactory mEditors;
    tPopup mPopup;
    std::vector<tView> mViews;
    const tSlot* mBandSource = nullptr;
    int mBandX = -1;
    int mBandY = -1;
    std::string mStatus;
    tClock::time_point mStatusUntil{};
    const tSlot* mCalled = nullptr;
    tClock::time_point mCallUntil{};
    bool mBlinkBright = false;
};
