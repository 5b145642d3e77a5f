#include "gui/FileDialogs.h"

#include "core/Path.h"

#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>

#include <unistd.h>

namespace {

std::string ToolkitChooser(const char* title, const char* pattern, const std::string& start) {
    const char* chosen = fl_file_chooser(title, pattern, start.empty() ? nullptr : start.c_str());
    return chosen ? std::string(chosen) : std::string();
}

} // namespace

bool ToolkitConfirmReplace(const std::string& path) {
    return fl_choice("The file %s exists already.\nReplace it?", "Cancel", "Replace", nullptr,
                     path.c_str()) == 1;
}

void ToolkitAlert(const std::string& message) {
    fl_alert("%s", message.c_str());
}

tDialogs StandardDialogs() {
    return {ToolkitChooser, ToolkitConfirmReplace, ToolkitAlert};
}

std::string ChooseRackSavePath(const tDialogs& dialogs, const std::string& start) {
    std::string path = dialogs.chooseFile("Save", "*.mst", start);
    if (path.empty()) return path;
    path = ForceExtension(path, ".mst");
    if (access(path.c_str(), F_OK) == 0 && !dialogs.confirmReplace(path)) return {};
    return path;
}
