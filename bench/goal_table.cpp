// The benchmarks' main: runs them as the library's own main does, then ends with the table of
// the performance goals, each measure of this one run beside its goal, so that one glance
// tells which are met. A measure is a counter of one benchmark (the median when the benchmarks
// are repeated with --benchmark_repetitions); a goal whose benchmark did not run (a filter
// left it out, or no benchmark gives it yet) shows as not measured.
//
// Ratios against a reference are measured inside their benchmark, the two taking turns on one
// thread, and given as its counter "ratio". The renders are taken per second of the renderer's
// processor time (one thread), which the machine's other work does not lengthen. A new goal is
// one row of kGoals.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct tGoal {
    const char* what;
    const char* benchmark; // its name with its arguments ("BM_X/model:1"), without run options
    const char* counter;
    double goal;
    bool atLeast; // the measure must reach the goal (else it must stay within it)
};

const tGoal kGoals[] = {
    {"string voice, default patch / STK Plucked", "BM_StringVoiceToStkPlucked/settings:0", "ratio",
     0.5, false},
    {"string voice, default patch, paired / STK Plucked", "BM_StringVoicePairToStkPlucked", "ratio",
     0.5, false},
    {"string voice, heaviest settings / STK Plucked", "BM_StringVoiceToStkPlucked/settings:1",
     "ratio", 1.5, false},
    {"flute voice / STK Flute", "BM_FluteVoiceToStkFlute/model:1", "ratio", 0.35, false},
    {"clarinet voice / STK Flute", "BM_FluteVoiceToStkFlute/model:0", "ratio", 0.35, false},
    {"reverb \"8\" / STK FreeVerb", "BM_GoalReverb8VsFreeVerb", "ratio", 0.35, false},
    {"all seven effects units / STK FreeVerb", "BM_GoalChainAllVsFreeVerb", "ratio", 1.0, false},
    {"kelvora-render --demo, times real time", "Render_AllPresetsDemo", "x_realtime_cpu", 300.0,
     true},
    {"four presets, General MIDI song, times real time", "Render_GmSong4Presets", "x_realtime_cpu",
     400.0, true},
    {"24-voice chord, seven effects, times real time", "Render_StringChord24", "x_realtime_cpu",
     150.0, true},
};

// Passes every report on to the reporter the command line chose and keeps the measures.
class tKeeper : public benchmark::BenchmarkReporter {
public:
    explicit tKeeper(benchmark::BenchmarkReporter* shown) : mShown(shown) {}

    bool ReportContext(const Context& context) override { return mShown->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        mShown->ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = Key(run);
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") mMedians[name] = run;
            } else {
                mRuns[name].push_back(run);
            }
        }
    }
    void Finalize() override { mShown->Finalize(); }

    // The median of a benchmark's counter, or a negative number when it did not run.
    double Measure(const std::string& name, const char* counter) const {
        auto value = [counter](const Run& run) {
            const auto it = run.counters.find(counter);
            return it == run.counters.end() ? -1.0 : it->second.value;
        };
        const auto median = mMedians.find(name);
        if (median != mMedians.end()) return value(median->second);
        const auto runs = mRuns.find(name);
        if (runs == mRuns.end() || runs->second.empty()) return -1.0;
        std::vector<double> values;
        for (const Run& run : runs->second) values.push_back(value(run));
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    }

private:
    // The benchmark's name and arguments, without the options of the run.
    static std::string Key(const Run& run) {
        const benchmark::BenchmarkName& name = run.run_name;
        return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
    }

    benchmark::BenchmarkReporter* mShown;
    std::map<std::string, Run> mMedians;
    std::map<std::string, std::vector<Run>> mRuns;
};

void PrintGoals(const tKeeper& keeper) {
    std::printf("\nGoals (this run; medians when repeated):\n");
    std::printf("  %-50s %10s %12s\n", "", "measured", "goal");
    int met = 0;
    int measured = 0;
    for (const tGoal& goal : kGoals) {
        const char* bound = goal.atLeast ? ">=" : "<=";
        const double value = keeper.Measure(goal.benchmark, goal.counter);
        if (!(value >= 0.0)) {
            std::printf("  %-50s %10s %s %9.2f  not measured\n", goal.what, "-", bound, goal.goal);
            continue;
        }
        const bool ok = goal.atLeast ? value >= goal.goal : value <= goal.goal;
        ++measured;
        met += ok;
        std::printf("  %-50s %10.3f %s %9.2f  %s\n", goal.what, value, bound, goal.goal,
                    ok ? "met" : "NOT MET");
    }
    std::printf("  %d of %d measured goals met, %d of %d not measured\n", met, measured,
                static_cast<int>(std::size(kGoals)) - measured,
                static_cast<int>(std::size(kGoals)));
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::BenchmarkReporter* shown = benchmark::CreateDefaultDisplayReporter();
    tKeeper keeper(shown);
    benchmark::RunSpecifiedBenchmarks(&keeper);
    // Only beside the console's own table: other formats are read by programs.
    if (dynamic_cast<benchmark::ConsoleReporter*>(shown) != nullptr) PrintGoals(keeper);
    benchmark::Shutdown();
    return 0;
}
