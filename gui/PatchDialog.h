// The module patch dialogs: choosing a file, confirming an overwrite, reporting a failure, and
// the slot's file operations they end in.
//
// The toolkit's dialogs are reached through hooks so that the path work runs without them
// (tests replace the hooks; the program keeps the defaults).
#pragma once

#include <functional>
#include <string>

class tSlot;
class tRack;

struct tDialogHooks {
    // A file chooser titled title with pattern, starting in directory; empty when cancelled.
    std::function<std::string(const char* title, const char* pattern, const std::string& directory,
                              bool save)>
        choose;
    // Asked before an existing file is written over; true lets the save go ahead.
    std::function<bool(const std::string& path)> confirmOverwrite;
    // A message box.
    std::function<void(const std::string& message)> alert;
};

// Fl_File_Chooser, fl_choice and fl_alert.
tDialogHooks ToolkitDialogHooks();

// The slot's own patch file reading and writing, with an error text on failure. A file that
// cannot be read leaves the module as it was. Loading into an inserted slot holds the rack's
// guard, since an effects unit updates its units from the new settings.
bool LoadSlotPatch(tSlot& slot, tRack& rack, const std::string& path, std::string& error);
bool SaveSlotPatch(tSlot& slot, const std::string& path, std::string& error);
