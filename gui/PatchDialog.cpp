#include "gui/PatchDialog.h"

#include "gui/FileDialogs.h"

#include "core/Rack.h"
#include "core/Slot.h"
#include "core/TextFile.h"

#include <optional>

tDialogHooks ToolkitDialogHooks() {
    return {ChooseFile, ToolkitConfirmReplace, ToolkitAlert};
}

bool LoadSlotPatch(tSlot& slot, tRack& rack, const std::string& path, std::string& error) {
    // The file is read and checked before the rack's lock is taken: a file that cannot be
    // read (or is no patch file) leaves the module as it was, and the lock is held only
    // while the text goes into the module.
    std::string text;
    if (!tSlot::ReadPatchFile(path, text, error)) return false;
    std::optional<tRack::tGuard> guard;
    if (rack.Contains(&slot)) guard.emplace(rack);
    slot.ApplyPatchText(path, text);
    return true;
}

bool SaveSlotPatch(tSlot& slot, const std::string& path, std::string& error) {
    return slot.SavePatchFile(path, error);
}
