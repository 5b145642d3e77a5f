// The toolkit side of a module: its editor window and its patch dialogs.
//
// The rack view keeps one editor per slot, made when the slot's icon is made and destroyed
// with it (deleting a module closes and destroys its window). The icon's popup menu calls
// Open, Close, LoadDialog and SaveDialog; the slot's engine is reached only through the
// slot's own operations and its controls.
#pragma once

#include <functional>
#include <memory>
#include <string>

class tSlot;
class tRack;
class tConfig;

// What an editor needs from the program around it.
struct tModuleContext {
    tRack& rack;     // tRack::tGuard for engine operations on an inserted slot
    tConfig& config; // PatchDir(): where every patch dialog starts
    // Redraws the rack view (caption or channel box changed).
    std::function<void()> redrawRack;
};

class tEditorWindow {
public:
    virtual ~tEditorWindow() = default;
    // Shows the window (at its size, titled with the patch name) and raises it.
    virtual void Open() = 0;
    // Hides it; nothing audible changes.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The file chooser titled "Load" or "Save" with the module's pattern, starting in the
    // patch directory; cancelling does nothing.
    virtual void LoadDialog() = 0;
    virtual void SaveDialog() = 0;
};

// The editor of slot's module type (string, flute or effects); null for a slot of no known type.
std::unique_ptr<tEditorWindow> MakeEditorWindow(tSlot& slot, const tModuleContext& context);
// What the rack view makes its editors with (MakeEditorWindow in the program, others in tests).
using tEditorFactory = std::function<std::unique_ptr<tEditorWindow>(tSlot&, const tModuleContext&)>;
