// kelvora-render: renders Kelvora's modules, played by a MIDI file or the demo phrase, to a
// WAV file without a display or a sound card.
#include "BlockRenderer.h"
#include "DemoPhrase.h"
#include "MidiFile.h"
#include "RackSetup.h"
#include "RenderOptions.h"

#include "catalog/Sleeping.h"
#include "core/Rack.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelvora-render: %s\n", message.c_str());
    return EXIT_FAILURE;
}

std::string Where(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

void PrintSummary(const tRenderOptions& options, const tRenderSummary& summary) {
    const double seconds = static_cast<double>(summary.frames) / options.rate;
    std::printf("Wrote %s: %.2f s, %s, %d Hz, 16-bit\n", Where(options.output).c_str(), seconds,
                options.channels == 1 ? "mono" : "stereo", options.rate);
    if (summary.peak == 0)
        std::printf("Peak: silence, clipped samples: 0\n");
    else
        std::printf("Peak: %.1f dBFS, clipped samples: %lld\n",
                    20.0 * std::log10(summary.peak / 32768.0), summary.clipped);
    std::printf("Rendered in %.2f s (%.1fx real time)\n", summary.wallSeconds,
                seconds / std::max(summary.wallSeconds, 1e-6));
    if (summary.droppedEvents != 0)
        std::fprintf(stderr,
                     "kelvora-render: warning: %u MIDI events were dropped (too many in one "
                     "block)\n",
                     summary.droppedEvents);
}

} // namespace

int main(int argc, char** argv) {
    tRenderOptions options;
    std::string error;
    if (!ParseRenderOptions(argc, argv, options, error)) {
        Fail(error);
        std::fputs("Try 'kelvora-render --help'.\n", stderr);
        return EXIT_FAILURE;
    }
    if (options.help) {
        std::fputs(RenderUsage().c_str(), stdout);
        return EXIT_SUCCESS;
    }

    std::vector<tTimedMidi> events;
    if (!options.midiFile.empty() && !LoadMidiFile(options.midiFile, events, error))
        return Fail(error);

    AllowSleeping(options.sleep);
    tRack rack;
    // The modules draw their noise from the rack's generator from their construction on.
    const tRandomScope noise(rack.Random());
    if (!BuildRack(rack, options, error)) return Fail(error);

    if (options.demo) {
        const std::vector<int> channels = InstrumentChannels(rack);
        if (channels.empty())
            std::fputs("kelvora-render: warning: no instrument to play\n", stderr);
        for (std::size_t i = 0; i < channels.size(); ++i)
            AppendDemoPhrase(events, channels[i], static_cast<double>(i) * kDemoPhraseSeconds);
    }

    tRenderSummary summary;
    if (!RenderToFile(rack, events, options, summary, error)) return Fail(error);
    PrintSummary(options, summary);
    return EXIT_SUCCESS;
}
