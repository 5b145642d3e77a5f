#include "gui/FileDialogs.h"

#include "core/Path.h"
#include "gui/MessageBox.h"
#include "gui/Scale.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Window.H>

#include <unistd.h>

std::string ChooseFile(const char* title, const char* pattern, const std::string& directory,
                       bool save) {
    const std::string start = directory.empty() ? std::string(".") : directory;
    Fl_File_Chooser chooser(start.c_str(), pattern,
                            save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE, title);
    // The chooser's window is reached through one of its buttons.
    if (Fl_Window* window = chooser.newButton->window()) tUiScale::ScaleWindow(*window);
    chooser.textsize(static_cast<Fl_Fontsize>(tUiScale::Px(14)));
    chooser.show();
    while (chooser.shown()) Fl::wait();
    const char* chosen = chooser.value();
    return chosen != nullptr ? std::string(chosen) : std::string();
}

bool ToolkitConfirmReplace(const std::string& path) {
    return AskReplace(path);
}

void ToolkitAlert(const std::string& message) {
    TellUser(message);
}

tDialogs StandardDialogs() {
    return {[](const char* title, const char* pattern, const std::string& start) {
                return ChooseFile(title, pattern, start, std::string(title) == "Save");
            },
            ToolkitConfirmReplace, ToolkitAlert,
            [](const std::string& what) {
                return static_cast<tDialogs::tSaveAnswer>(AskSaveChanges(what));
            }};
}

std::string ChooseRackSavePath(const tDialogs& dialogs, const std::string& start) {
    std::string path = dialogs.chooseFile("Save", "*.mst", start);
    if (path.empty()) return path;
    path = ForceExtension(path, ".mst");
    if (access(path.c_str(), F_OK) == 0 && !dialogs.confirmReplace(path)) return {};
    return path;
}
