// kelvora: the synthesizer as users start it.
#include "app/Program.h"
#include "gui/EditorWindow.h"
#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    tProgram program;
    if (const std::optional<int> status = program.Start(argc, argv)) return *status;

    tMainWindow window({program.Rack(), program.Master(), program.Config(), program.Counters(),
                        program.AudioSwitch()},
                       MakeEditorWindow);
    if (!program.Options().rackFile.empty()) window.LoadRack(program.Options().rackFile);
    char windowClass[] = "kelVora";
    char* windowArgs[] = {windowClass, nullptr};
    window.Show(1, windowArgs);
    return window.Run();
}
