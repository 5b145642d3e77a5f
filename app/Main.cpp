// kelvora: the synthesizer as users start it.
#include "app/Program.h"
#include "gui/EditorWindow.h"
#include "gui/MainWindow.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "platform/PcmDevices.h"

int main(int argc, char** argv) {
    tProgram program;
    if (const std::optional<int> status = program.Start(argc, argv)) return *status;

    // One look and one size for every window, chosen before the first is built.
    tSkin::Apply();
    tUiScale::SetFactor(tUiScale::StartFactor(program.Config().UiScalePercent()));
    tMainWindow window({program.Rack(), program.Master(), program.Config(), program.Counters(),
                        program.AudioSwitch(), ListPcmDevices},
                       MakeEditorWindow);
    if (!program.Options().rackFile.empty()) window.LoadRack(program.Options().rackFile);
    char windowClass[] = "kelVora";
    char* windowArgs[] = {windowClass, nullptr};
    window.Show(1, windowArgs);
    return window.Run();
}
