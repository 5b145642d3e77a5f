// kelvora: the synthesizer as users start it, with its window or headless (-x), under a
// session manager when NSM_URL is set.
#include "app/Headless.h"
#include "app/Program.h"
#include "app/QuitSignal.h"
#include "app/WindowSession.h"
#include "gui/EditorWindow.h"
#include "gui/LoopWatch.h"
#include "gui/MainWindow.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "platform/PcmDevices.h"

#include <optional>

int main(int argc, char** argv) {
    quitsignal::Install();
    tProgram program;
    if (const std::optional<int> status = program.Start(argc, argv)) return *status;
    if (program.Options().headless) return RunHeadless(program, argv[0]);

    // One look and one size for every window, chosen before the first is built.
    tSkin::Apply();
    tUiScale::SetFactor(tUiScale::StartFactor(program.Config().UiScalePercent()));
    tMainWindow window({program.Rack(), program.Master(), program.Config(), program.Counters(),
                        program.AudioSwitch(), ListPcmDevices},
                       MakeEditorWindow);
    const tLoopWatch quitWatch(quitsignal::Fd(), [&window] {
        if (quitsignal::Raised()) window.Quit();
    });
    if (!program.Options().rackFile.empty()) window.LoadRack(program.Options().rackFile);
    char windowClass[] = "kelVora";
    char* windowArgs[] = {windowClass, nullptr};

    const std::string url = tSession::ManagerUrl();
    if (url.empty()) {
        window.Show(1, windowArgs);
        return window.Run();
    }
    tWindowDocument document(window);
    tSession session(document, program.AudioSwitch(), program.Jack());
    if (!session.Announce(url, argv[0], true)) {
        window.Show(1, windowArgs);
        return window.Run();
    }
    window.SetSession([&session](bool shown) { session.GuiShown(shown); });
    window.Show(1, windowArgs);
    session.GuiShown(true);
    return RunWindowSession(window, session);
}
