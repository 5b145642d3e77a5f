// kelvora-render's speed as a multiple of real time, measured on the program itself (start,
// rack set-up, MIDI reading, rendering through the master stage and writing the WAV file):
//   Render_AllPresetsDemo  every built-in preset in turn playing the demo phrase (make demo)
//   Render_StringChord24   a 24-voice string chord through an effects unit with all seven
//                          effects on
// The counter x_realtime is seconds of sound rendered per second of wall time.
#include "catalog/ModuleFactory.h"
#include "core/RackFile.h"
#include "effects/EffectUnit.h"
#include "effects/EffectsModule.h"
#include "tests/render/SmfWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every unit switched on.
const char kFullChain[] = "15\n"
                          "0 130\n"
                          "140 20 0 1 -1\n"
                          "210 0 1 1 11 784 1 50 210 -1\n"
                          "388 600 430 0 500 100 576 0 1 -1\n"
                          "210 0 1 1 11 784 1 50 210 -1\n"
                          "5 65 83 77 65 1 139 0 1 -1\n"
                          "109 4 1024 1 -1\n"
                          "3 93 70 1 285 239 -1\n"
                          "105 525 30 1 1 -1\n";

// The renderer is built beside the bench directory.
std::string RendererPath() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "kelvora-render";
    std::string path(self, static_cast<std::size_t>(n));
    path.erase(path.rfind('/'));
    return path + "/../kelvora-render";
}

// A directory for the benchmarks' files, removed with them at exit.
class tWorkDir {
public:
    tWorkDir() {
        char name[] = "/tmp/kelvora-render-bench-XXXXXX";
        if (mkdtemp(name) != nullptr) mPath = name;
    }
    ~tWorkDir() {
        if (mPath.empty()) return;
        for (const char* file : {"bench.wav", "chord.mst", "chord.mid"})
            std::remove((mPath + "/" + file).c_str());
        rmdir(mPath.c_str());
    }
    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

std::string WorkDir() {
    static const tWorkDir dir;
    return dir.Path().empty() ? "/tmp" : dir.Path();
}

// Frames in the WAV file's data chunk, read from the size of the 16-bit stereo file.
double SecondsOf(const std::string& wav) {
    FILE* file = std::fopen(wav.c_str(), "rb");
    if (file == nullptr) return 0.0;
    std::fseek(file, 0, SEEK_END);
    const long bytes = std::ftell(file);
    std::fclose(file);
    return static_cast<double>(bytes - 44) / 4.0 / 44100.0;
}

void RunRenderer(benchmark::State& state, const std::string& args) {
    const std::string wav = WorkDir() + "/bench.wav";
    const std::string command =
        "'" + RendererPath() + "' " + args + " -o '" + wav + "' >/dev/null 2>&1";
    for (auto _ : state) {
        const int status = std::system(command.c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError(("kelvora-render failed: " + command).c_str());
            return;
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(SecondsOf(wav), benchmark::Counter::kIsIterationInvariantRate);
}

void Render_AllPresetsDemo(benchmark::State& state) {
    RunRenderer(state, "--demo");
}
BENCHMARK(Render_AllPresetsDemo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void Render_StringChord24(benchmark::State& state) {
    const std::string rack = WorkDir() + "/chord.mst";
    const std::string midi = WorkDir() + "/chord.mid";
    {
        tRack built;
        built.SetChannels(2);
        auto effects = CreateModule(kEffectsModule, 160, 45);
        std::istringstream text(kFullChain);
        effects->ReadPatch("full chain", text);
        auto string = CreateModule(kStringModule, 50, 45);
        tSlot* unit = effects.release();
        tSlot* synth = string.release();
        built.Insert(unit);
        built.Connect(synth, unit);
        built.Insert(synth);
        {
            tRack::tGuard guard(built);
            unit->SwitchOn();
            synth->SwitchOn();
            synth->SetPolyphony(24);
        }
        for (int p = 0; p < 8; ++p) {
            const tEffectUnit* chained = static_cast<tEffectsModule*>(unit)->Engine().Unit(p);
            if (chained != nullptr && !chained->isOn()) {
                state.SkipWithError("an effect of the chain is off");
                return;
            }
        }
        if (synth->GetPolyphony() != 24 || !SaveRackFile(built, rack)) {
            state.SkipWithError("the rack could not be set up");
            return;
        }
    }
    // 24 keys from 36 upwards, every second semitone, held 28 s (quarter = 0.5 s at 480 ppq).
    std::vector<tSmfEvent> track;
    for (int i = 0; i < 24; ++i) {
        track.push_back(SmfNoteOn(0, 0, 36 + 2 * i, 100));
        track.push_back(SmfNoteOff(26880, 0, 36 + 2 * i));
    }
    WriteBytes(midi, SmfBytes(0, 480, {track}));
    RunRenderer(state, "--rack '" + rack + "' --midi '" + midi + "'");
}
BENCHMARK(Render_StringChord24)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
