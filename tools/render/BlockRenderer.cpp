#include "BlockRenderer.h"

#include "WavWriter.h"

#include "core/Engine.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The progress line appears once a render has taken this long, and is refreshed this often.
constexpr double kProgressAfterSeconds = 1.0;
constexpr double kProgressEverySeconds = 0.25;

long long FrameOf(double seconds, int rate) {
    return std::llround(std::max(seconds, 0.0) * rate);
}

// An event's bytes as the engine's events at frame 0, up to three bytes each (the engine's
// decoder reads them in order, so a long system message may be split anywhere).
void AppendEvents(const tTimedMidi& midi, std::vector<tEngineEvent>& events) {
    const std::size_t size = midi.bytes.size();
    for (std::size_t at = 0; at < size; at += 3) {
        tEngineEvent event;
        event.size = static_cast<std::uint8_t>(std::min<std::size_t>(3, size - at));
        std::copy_n(midi.bytes.begin() + static_cast<std::ptrdiff_t>(at), event.size, event.bytes);
        events.push_back(event);
    }
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
    // The highest and lowest sample first (a loop without branches); clipped samples are
    // counted only in a block that has one.
    int high = 0;
    int low = 0;
    for (int i = 0; i < n; ++i) {
        high = std::max(high, static_cast<int>(samples[i]));
        low = std::min(low, static_cast<int>(samples[i]));
    }
    summary.peak = std::max(summary.peak, std::max(high, -low));
    if (high < 32767 && low > -32768) return;
    for (int i = 0; i < n; ++i) summary.clipped += samples[i] == 32767 || samples[i] == -32768;
}

} // namespace

bool RenderToFile(tRack& rack, const std::vector<tTimedMidi>& events, const tRenderOptions& options,
                  tRenderSummary& summary, std::string& error) {
    const int period = options.period;
    const int channels = options.channels;
    const int rate = options.rate;
    const long long lastEvent = events.empty() ? 0 : FrameOf(events.back().seconds, rate);
    const long long endFrame = lastEvent + FrameOf(options.tail, rate);
    const long long blocks = std::max(1LL, (endFrame + period - 1) / period);

    tMasterControls controls;
    controls.volume.Set(options.volume);
    controls.limiter.Set(options.limiter ? 1.0 : 0.0);
    tMasterStage master(controls);
    tEngine engine(rack, master);
    if (!engine.Prepare(rate, channels)) {
        error = "the sample rate " + std::to_string(rate) + " Hz is not one the engine takes";
        return false;
    }
    const unsigned droppedBefore = rack.DroppedEvents();

    tWavWriter writer;
    if (!writer.Open(options.output, channels, rate, error)) return false;
    tProgress progress(static_cast<double>((blocks + 1) * period) / rate);

    // The sound card first receives a block of silence: each block is sent while the next is
    // computed.
    std::vector<std::int16_t> samples(static_cast<std::size_t>(period * channels), 0);
    std::vector<double> out(samples.size(), 0.0);
    if (!writer.Write(samples.data(), period, error)) return false; // the target stays as it was

    std::vector<tEngineEvent> due;
    std::size_t next = 0;
    for (long long block = 0; block < blocks; ++block) {
        // The events that fall in the block take effect at its start, as the MIDI thread's
        // events reach the modules at the start of the next block.
        const long long blockEnd = (block + 1) * period;
        due.clear();
        for (; next < events.size() && FrameOf(events[next].seconds, rate) < blockEnd; ++next)
            AppendEvents(events[next], due);
        engine.Process(due.data(), static_cast<int>(due.size()), out.data(), period);
        tMasterStage::ToSamples(out.data(), period * channels, samples.data());
        Measure(samples.data(), period * channels, summary);
        if (!writer.Write(samples.data(), period, error))
            return false; // the target stays as it was
        if ((block & 63) == 0) progress.Update(static_cast<double>(blockEnd) / rate);
    }
    progress.Finish();
    summary.frames = (blocks + 1) * period;
    summary.wallSeconds = progress.Elapsed();
    summary.droppedEvents = rack.DroppedEvents() - droppedBefore + engine.DroppedEvents();
    return writer.Close(error);
}
