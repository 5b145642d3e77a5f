#include "gui/PatchDialog.h"

#include "gui/FileDialogs.h"

#include "core/Rack.h"
#include "core/Slot.h"
#include "core/TextFile.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>

#include <optional>

namespace {

std::string Choose(const char* title, const char* pattern, const std::string& directory,
                   bool save) {
    const std::string start = directory.empty() ? std::string(".") : directory;
    Fl_File_Chooser chooser(start.c_str(), pattern,
                            save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE, title);
    chooser.show();
    while (chooser.shown()) Fl::wait();
    const char* chosen = chooser.value();
    return chosen != nullptr ? std::string(chosen) : std::string();
}

} // namespace

tDialogHooks ToolkitDialogHooks() {
    return {Choose, ToolkitConfirmReplace, ToolkitAlert};
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
