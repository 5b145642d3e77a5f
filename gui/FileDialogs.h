// The dialogs the main window and the configuration window ask the user through: the file
// chooser, the question before a file is replaced, the question before a changed rack is
// given up, and messages. The standard set uses the program's message boxes and the toolkit's
// file chooser in the program's skin and scale; tests put answers of their own in their place.
#pragma once

#include <functional>
#include <string>

struct tDialogs {
    // What the user answers when a changed rack is about to be given up.
    enum tSaveAnswer { kSave, kDiscard, kCancel };

    // The chosen path, or empty when the user cancelled. start: the directory to begin in.
    std::function<std::string(const char* title, const char* pattern, const std::string& start)>
        chooseFile;
    // Whether the existing file at path may be replaced.
    std::function<bool(const std::string& path)> confirmReplace;
    std::function<void(const std::string& message)> alert;
    // Save / Discard / Cancel before what ("loading another rack", "quitting").
    std::function<tSaveAnswer(const std::string& what)> askSaveChanges = {};
};

// The file chooser, the program's message boxes.
tDialogs StandardDialogs();

// The toolkit's file chooser titled title with pattern, starting in directory (the current
// one when empty), shown in the program's scale; the chosen path or empty.
std::string ChooseFile(const char* title, const char* pattern, const std::string& directory,
                       bool save);

// The question before the file at path is replaced (true: replace it) and the message box;
// the patch dialogs ask and tell through the same two.
bool ToolkitConfirmReplace(const std::string& path);
void ToolkitAlert(const std::string& message);

// The rack file to save to: chosen with the "Save" chooser, ".mst" forced onto it, and, when
// that file exists already, confirmed by the user. Empty when cancelled or not confirmed.
std::string ChooseRackSavePath(const tDialogs& dialogs, const std::string& start);
