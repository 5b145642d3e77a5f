// The GUI thread's load with all three editor windows open while MIDI controllers sweep.
//
// A string, a flute and an effects module sit in a rack (string into effects, effects on, its
// meter on). A MIDI thread sweeps controllers 1..26 and pitch bend on channel 1 at about
// 1000 events a second, a render thread renders 128-frame blocks at the audio rate (so the
// events reach the modules and the meter moves), and the GUI thread runs the toolkit's loop
// with the GUI timer. Every second the GUI thread's own CPU time is sampled; the median share
// of one core is printed. The windows are drawn in the program's skin at the UI scale
// KELVORA_SCALE gives (100 % without it).
//
//   kelvora_editor_load [seconds]        (default 10)
//   kelvora_editor_load --hold seconds   opens the windows and keeps them for screenshots
#include "core/Config.h"
#include "core/Rack.h"
#include "effects/EffectsModule.h"
#include "flute/FluteSynth.h"
#include "gui/EditorWindow.h"
#include "gui/GuiTimer.h"
#include "gui/Scale.h"
#include "gui/Skin.h"
#include "string/StringModule.h"

#include <FL/Fl.H>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

void RunFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) Fl::wait(0.05);
}

} // namespace

int main(int argc, char** argv) {
    bool hold = false;
    double seconds = 10.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hold") == 0)
            hold = true;
        else
            seconds = std::atof(argv[i]);
    }

    tSkin::Apply();
    tUiScale::SetFactor(tUiScale::StartFactor(100));
    tRack rack;
    tConfig config;
    tModuleContext context{rack, config, [] {}};
    auto* string = new tStringModule(50, 45);
    auto* flute = new tFluteSynth(50, 150);
    auto* effects = new tEffectsModule(160, 45);
    rack.SetChannels(2);
    rack.Insert(string);
    rack.Insert(flute);
    rack.Insert(effects);
    rack.Connect(string, effects);
    {
        tRack::tGuard guard(rack);
        string->SwitchOn();
        flute->SwitchOn();
        effects->SwitchOn();
    }
    string->Controls().top.midiController.Set(1);
    effects->Engine().Controls().top.meterOn.Set(1);

    std::vector<std::unique_ptr<tEditorWindow>> windows;
    for (tSlot* slot : rack.Slots()) windows.push_back(MakeEditorWindow(*slot, context));
    for (auto& window : windows) window->Open();
    tGuiTimer::Start();
    // Counts the timer ticks that found a swept control changed (so widgets had work to do).
    int ticks = 0;
    int busyTicks = 0;
    std::uint32_t seen = 0;
    const tControl& swept = string->Controls().energy.frequency;
    tGuiTimer::Add(&ticks, [&] {
        ++ticks;
        if (swept.Serial() != seen) ++busyTicks;
        seen = swept.Serial();
    });

    std::atomic<bool> running{true};
    std::thread render([&] {
        const auto period = std::chrono::microseconds(2902); // 128 frames at 44100 Hz
        auto next = std::chrono::steady_clock::now();
        while (running.load()) {
            rack.Render(128);
            next += period;
            std::this_thread::sleep_until(next);
        }
    });
    std::thread midi([&] {
        int step = 0;
        rack.NoteOn(0, 60, 100);
        while (running.load()) {
            const int value = (step * 3) % 128;
            rack.Controller(0, 1 + step % 26, value);
            if (step % 10 == 0) rack.Controller(0, -1, (step * 97) % 16384);
            if (step % 500 == 0) rack.NoteOn(0, 48 + step / 500 % 24, 100);
            ++step;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    if (hold) {
        RunFor(seconds);
    } else {
        RunFor(1.0); // windows mapped and drawn once
        std::vector<double> shares;
        for (int i = 0; i < static_cast<int>(seconds); ++i) {
            const double cpu = ThreadSeconds();
            const auto wall = std::chrono::steady_clock::now();
            RunFor(1.0);
            const double used = ThreadSeconds() - cpu;
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
            shares.push_back(100.0 * used / elapsed);
        }
        std::sort(shares.begin(), shares.end());
        std::printf("GUI thread CPU, %zu one-second samples: median %.2f %%, min %.2f %%, max "
                    "%.2f %% of one core\n",
                    shares.size(), shares[shares.size() / 2], shares.front(), shares.back());
        std::printf("timer ticks: %d, with swept controls changed: %d (scale %.0f %%)\n", ticks,
                    busyTicks, 100 * tUiScale::Factor());
    }
    running.store(false);
    midi.join();
    render.join();
    tGuiTimer::Stop();
    tGuiTimer::Remove(&ticks);
    windows.clear();
    rack.Clear();
    return 0;
}
