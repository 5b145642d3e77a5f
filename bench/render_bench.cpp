// kelvora-render's speed as a multiple of real time, measured on the program itself (start,
// rack set-up, MIDI reading, rendering through the master stage and writing the WAV file):
//   Render_AllPresetsDemo  every built-in preset in turn playing the demo phrase (make demo)
//   Render_StringChord24   a 24-voice string chord through an effects unit with all seven
//                          effects on
//   Render_GmSong4Presets  four presets playing a General MIDI song of 32 s: piano chords,
//                          a walking bass, a cello's long notes and a clarinet's melody
// The counter x_realtime is seconds of sound rendered per second of wall time, x_realtime_cpu
// per second of the renderer's processor time (user and system) in the median of its runs.
#include "catalog/ModuleFactory.h"
#include "core/RackFile.h"
#include "effects/EffectUnit.h"
#include "effects/EffectsModule.h"
#include "tests/render/SmfWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/resource.h>
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
        for (const char* file : {"bench.wav", "chord.mst", "chord.mid", "song.mid"})
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

// The processor time the renderer took (it renders on one thread): on a machine shared with
// other work, wall time measures the others too.
double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void RunRenderer(benchmark::State& state, const std::string& args) {
    const std::string wav = WorkDir() + "/bench.wav";
    const std::string command =
        "'" + RendererPath() + "' " + args + " -o '" + wav + "' >/dev/null 2>&1";
    std::vector<double> cpu; // each run's
    for (auto _ : state) {
        const double before = ChildrenCpuSeconds();
        const int status = std::system(command.c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError(("kelvora-render failed: " + command).c_str());
            return;
        }
        cpu.push_back(ChildrenCpuSeconds() - before);
    }
    const double seconds = SecondsOf(wav);
    state.counters["x_realtime"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    // The median run: a run slowed by the machine's other work does not move it.
    std::sort(cpu.begin(), cpu.end());
    const double median = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
    if (median > 0.0) state.counters["x_realtime_cpu"] = seconds / median;
}

void Render_AllPresetsDemo(benchmark::State& state) {
    RunRenderer(state, "--demo");
}
BENCHMARK(Render_AllPresetsDemo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

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
BENCHMARK(Render_StringChord24)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A General MIDI file of four tracks at 120 beats a minute, 16 bars of C, A minor, F and G:
// the channels 1 to 4 carry piano, bass, cello and clarinet (their programs are given as a
// General MIDI player expects; the renderer plays each channel with the preset it listens to).
std::vector<std::uint8_t> GmSong() {
    constexpr std::uint32_t kQuarter = 480;
    constexpr std::uint32_t kBar = 4 * kQuarter;
    const int roots[4] = {48, 45, 41, 43}; // C3, A2, F2, G2
    const bool minor[4] = {false, true, false, false};
    const int programs[4] = {0, 32, 42, 71};
    std::vector<std::vector<tSmfEvent>> tracks(5);
    tracks[0].push_back(SmfTempo(0, 500000));
    for (int c = 0; c < 4; ++c)
        tracks[c + 1].push_back(
            {0, {static_cast<std::uint8_t>(0xC0 | c), static_cast<std::uint8_t>(programs[c])}});
    const int melody[8] = {0, 4, 7, 12, 11, 7, 4, 2};
    for (int bar = 0; bar < 16; ++bar) {
        const std::uint32_t at = static_cast<std::uint32_t>(bar) * kBar;
        const int root = roots[bar % 4];
        const int third = root + (minor[bar % 4] ? 3 : 4);
        for (int beat = 0; beat < 4; ++beat) { // piano: the chord on every beat
            const std::uint32_t on = at + static_cast<std::uint32_t>(beat) * kQuarter;
            for (int key : {root + 12, third + 12, root + 19}) {
                tracks[1].push_back(SmfNoteOn(on, 0, key, 80 + 10 * (beat == 0)));
                tracks[1].push_back(SmfNoteOff(on + kQuarter - 60, 0, key));
            }
            const int walk[4] = {0, 7, 12, 7}; // bass: root, fifth, octave, fifth
            tracks[2].push_back(SmfNoteOn(on, 1, root - 12 + walk[beat], 100));
            tracks[2].push_back(SmfNoteOff(on + kQuarter - 30, 1, root - 12 + walk[beat]));
        }
        tracks[3].push_back(SmfNoteOn(at, 2, third, 70)); // cello: the third, the whole bar
        tracks[3].push_back(SmfNoteOff(at + kBar - 10, 2, third));
        for (int step = 0; step < 8; ++step) { // clarinet: eighths over the chord
            const std::uint32_t on = at + static_cast<std::uint32_t>(step) * kQuarter / 2;
            const int key = root + 24 + melody[(step + bar) % 8];
            tracks[4].push_back(SmfNoteOn(on, 3, key, 90));
            tracks[4].push_back(SmfNoteOff(on + kQuarter / 2 - 20, 3, key));
        }
    }
    for (auto& track : tracks)
        std::stable_sort(track.begin(), track.end(),
                         [](const tSmfEvent& a, const tSmfEvent& b) { return a.tick < b.tick; });
    return SmfBytes(1, static_cast<int>(kQuarter), tracks);
}

void Render_GmSong4Presets(benchmark::State& state) {
    const std::string midi = WorkDir() + "/song.mid";
    WriteBytes(midi, GmSong());
    RunRenderer(state, "--preset Epiano --preset PickBass --preset SynCello --preset Clarinet "
                       "--midi '" +
                           midi + "'");
}
BENCHMARK(Render_GmSong4Presets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
