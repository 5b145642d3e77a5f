// The dialogs the main window and the configuration window ask the user through: the file
// chooser, the question before a file is replaced, and error messages. The standard set uses
// the toolkit's own dialogs; tests put answers of their own in their place.
#pragma once

#include <functional>
#include <string>

struct tDialogs {
    // The chosen path, or empty when the user cancelled. start: the directory to begin in.
    std::function<std::string(const char* title, const char* pattern, const std::string& start)>
        chooseFile;
    // Whether the existing file at path may be replaced.
    std::function<bool(const std::string& path)> confirmReplace;
    std::function<void(const std::string& message)> alert;
};

// The toolkit's file chooser, its question box and its alert.
tDialogs StandardDialogs();

// The toolkit's question before the file at path is replaced (true: replace it) and its
// message box; the patch dialogs ask and tell through the same two.
bool ToolkitConfirmReplace(const std::string& path);
void ToolkitAlert(const std::string& message);

// The rack file to save to: chosen with the "Save" chooser, ".mst" forced onto it, and, when
// that file exists already, confirmed by the user. Empty when cancelled or not confirmed.
std::string ChooseRackSavePath(const tDialogs& dialogs, const std::string& start);
