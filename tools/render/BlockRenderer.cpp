#include "BlockRenderer.h"

#include "WavWriter.h"

#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/MidiDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr double kSampleRate = 44100.0;
// The device buffer's period count; it only widens the load meter's thresholds.
constexpr int kFragments = 2;
// The progress line appears once a render has taken this long, and is refreshed this often.
constexpr double kProgressAfterSeconds = 1.0;
constexpr double kProgressEverySeconds = 0.25;

long long FrameOf(double seconds) {
    return std::llround(std::max(seconds, 0.0) * kSampleRate);
}

class tProgress {
public:
    explicit tProgress(double totalSeconds)
        : mTotal(totalSeconds), mStart(Clock::now()), mTerminal(isatty(STDERR_FILENO) != 0) {}

    void Update(double doneSeconds) {
        const double elapsed = Elapsed();
        if (elapsed < kProgressAfterSeconds) return;
        const double every = mTerminal ? kProgressEverySeconds : 5.0;
        if (mShown && elapsed - mLastShown < every) return;
        std::fprintf(stderr, "%sRendering: %.1f of %.1f s (%d%%)%s", mTerminal ? "\r" : "",
                     doneSeconds, mTotal, static_cast<int>(100.0 * doneSeconds / mTotal),
                     mTerminal ? "" : "\n");
        std::fflush(stderr);
        mShown = true;
        mLastShown = elapsed;
    }
    void Finish() {
        if (mShown && mTerminal) std::fputc('\n', stderr);
    }
    double Elapsed() const { return std::chrono::duration<double>(Clock::now() - mStart).count(); }

private:
    using Clock = std::chrono::steady_clock;
    double mTotal;
    Clock::time_point mStart;
    bool mTerminal;
    bool mShown = false;
    double mLastShown = 0.0;
};

void Measure(const std::int16_t* samples, int n, tRenderSummary& summary) {
    for (int i = 0; i < n; ++i) {
        const int s = samples[i];
        summary.peak = std::max(summary.peak, std::abs(s));
        if (s == 32767 || s == -32768) ++summary.clipped;
    }
}

} // namespace

bool RenderToFile(tRack& rack, const std::vector<tTimedMidi>& events, const tRenderOptions& options,
                  tRenderSummary& summary, std::string& error) {
    const int period = options.period;
    const int channels = options.channels;
    const long long lastEvent = events.empty() ? 0 : FrameOf(events.back().seconds);
    const long long endFrame = lastEvent + FrameOf(options.tail);
    const long long blocks = std::max(1LL, (endFrame + period - 1) / period);

    tMasterControls controls;
    controls.volume.Set(options.volume);
    controls.limiter.Set(options.limiter ? 1.0 : 0.0);
    tLoadCounters counters; // no tick thread: the stage never sees an overload
    tMasterStage master(controls, counters);
    tMidiDecoder decoder(rack);
    const unsigned droppedBefore = rack.DroppedEvents();

    tWavWriter writer;
    if (!writer.Open(options.output, channels, error)) return false;
    tProgress progress(static_cast<double>((blocks + 1) * period) / kSampleRate);

    // The sound card first receives the sample buffer as it stands before any block.
    Measure(master.Samples(), period * channels, summary);
    if (!writer.Write(master.Samples(), period, error)) return false; // the target stays as it was

    std::size_t next = 0;
    for (long long block = 0; block < blocks; ++block) {
        const long long blockEnd = (block + 1) * period;
        for (; next < events.size() && FrameOf(events[next].seconds) < blockEnd; ++next)
            decoder.Feed(events[next].bytes.data(), events[next].bytes.size());
        const double* mix = rack.Render(period);
        master.Process(mix, period, channels, kFragments);
        Measure(master.Samples(), period * channels, summary);
        if (!writer.Write(master.Samples(), period, error))
            return false; // the target stays as it was
        if ((block & 63) == 0) progress.Update(static_cast<double>(blockEnd) / kSampleRate);
    }
    progress.Finish();
    summary.frames = (blocks + 1) * period;
    summary.wallSeconds = progress.Elapsed();
    summary.droppedEvents = rack.DroppedEvents() - droppedBefore;
    return writer.Close(error);
}
