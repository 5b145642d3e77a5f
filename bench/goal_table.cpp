// The benchmarks' main: runs them as the library's own main does, then ends with the table of
// the performance goals, each measure of this one run beside its goal, so that one glance
// tells which are met. Ratios are taken between medians when the benchmarks are repeated
// (--benchmark_repetitions), else between single runs; a goal whose benchmarks did not run
// (a filter left them out) shows as not measured.
//
// A row names the benchmark measured, the one it is measured against (none: the measure
// itself), the counter compared (none: CPU time per iteration) and the goal it must not exceed.
// Further families add their rows to kGoals.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct tGoal {
    const char* what;
    const char* measured;
    const char* reference; // nullptr: the measure itself
    const char* counter;   // nullptr: CPU time per iteration
    double most;           // the goal: at most this
    const char* unit;      // printed after the values
};

const tGoal kGoals[] = {
    {"string voice, default patch / STK Plucked", "BM_StringVoiceDefault", "BM_StkPlucked",
     "per_sample", 0.5, "x"},
    {"string voice, heaviest settings / STK Plucked", "BM_StringVoiceHeaviest", "BM_StkPlucked",
     "per_sample", 1.5, "x"},
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
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") mMedians[name] = run;
            } else {
                mRuns[name].push_back(run);
            }
        }
    }
    void Finalize() override { mShown->Finalize(); }

    // The median of a benchmark's measure, or a negative number when it did not run.
    double Measure(const std::string& name, const char* counter) const {
        auto value = [counter](const Run& run) {
            if (counter == nullptr) return run.GetAdjustedCPUTime();
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
    benchmark::BenchmarkReporter* mShown;
    std::map<std::string, Run> mMedians;
    std::map<std::string, std::vector<Run>> mRuns;
};

void PrintGoals(const tKeeper& keeper) {
    std::printf("\nGoals (this run; ratios of medians when repeated):\n");
    std::printf("  %-52s %10s %10s  %s\n", "", "measured", "goal", "");
    int met = 0;
    int measured = 0;
    for (const tGoal& goal : kGoals) {
        const double value = keeper.Measure(goal.measured, goal.counter);
        const double reference =
            goal.reference != nullptr ? keeper.Measure(goal.reference, goal.counter) : 1.0;
        if (!(value >= 0.0 && reference > 0.0)) {
            std::printf("  %-52s %10s %8.2f%s  not measured\n", goal.what, "-", goal.most,
                        goal.unit);
            continue;
        }
        const double ratio = value / reference;
        const bool ok = ratio <= goal.most;
        ++measured;
        met += ok;
        std::printf("  %-52s %8.2f%s %8.2f%s  %s\n", goal.what, ratio, goal.unit, goal.most,
                    goal.unit, ok ? "met" : "NOT MET");
    }
    std::printf("  %d of %d measured goals met\n", met, measured);
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
