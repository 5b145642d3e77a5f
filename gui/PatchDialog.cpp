#include "gui/PatchDialog.h"

#include "core/Rack.h"
#include "core/Slot.h"
#include "core/TextFile.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>

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

bool ConfirmOverwrite(const std::string& path) {
    return fl_choice("%s already exists.\nDo you want to replace it?", "Cancel", "Replace", nullptr,
                     path.c_str()) == 1;
}

void Alert(const std::string& message) {
    fl_alert("%s", message.c_str());
}

} // namespace

tDialogHooks ToolkitDialogHooks() {
    return {Choose, ConfirmOverwrite, Alert};
}

bool LoadSlotPatch(tSlot& slot, tRack& rack, const std::string& path, std::string& error) {
    // The slot reads an unreadable file as an empty text, which would reset every setting:
    // refuse it here instead.
    std::string text;
    if (!ReadTextFile(path, text)) {
        error = "Can't read file " + path;
        return false;
    }
    std::optional<tRack::tGuard> guard;
    if (rack.Contains(&slot)) guard.emplace(rack);
    slot.LoadPatchFile(path);
    return true;
}

bool SaveSlotPatch(tSlot& slot, const std::string& path, std::string& error) {
    if (!slot.SavePatchFile(path)) {
        error = "Can't write file " + path;
        return false;
    }
    return true;
}
