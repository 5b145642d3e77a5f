#include "app/CommandLine.h"

#include "core/Config.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cstdlib>
#include <getopt.h>

namespace {
// The acute accents framing the device name, as UTF-8.
constexpr const char* kUsageLines[] = {
    "Midi event triggered realtime software synthesizer with support for ALSA v0.9.\n\n",
    " -h, --help               this help\n",
    " -i dev , --midiin=dev    select a fifo for midi input.\n",
    " -f val , --framesize=val select audio fragment size. (default 128)\n",
    " -r hz , --rate=hz        select the sample rate, 22050..192000. (default 44100)\n",
    " -a sys , --audio=sys     select the audio system, alsa or jack. (default alsa)\n",
    " -n name , --name=name    select the JACK client name. (default Kelvora)\n",
    " --no-autoconnect         leave the JACK outputs unconnected.\n",
    " -x , --headless          run without a window, audio on, until SIGINT or SIGTERM.\n",
    " -o dev , --output=dev    select ALSA v0.9 compatible audio output device.\n",
    "                          the default device is \u00b4hw:0,0\u00b4\n\n",
    "NOTE: by default Kelvora does not connect itself to any ALSA midi port.\n",
    "      Please use for example \u00b4aconnect\u00b4 for assignment.\n\n",
    "To read midi events from a pipe or fifo instead of the ALSA sequencer you should\n",
    "start Kelvora like:\n\n",
    " 'Kelvora -i fifo' or 'myfilter | Kelvora'\n\n",
    "For best runtime performance Kelvora should be started with root privileges.\n\n",
    "A rack file named after the options is loaded at start-up: 'Kelvora [options] rack.mst'\n\n",
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"output", required_argument, nullptr, 'o'},
    {"midiin", required_argument, nullptr, 'i'},
    {"midiout", required_argument, nullptr, 'm'},
    {"framesize", required_argument, nullptr, 'f'},
    {"rate", required_argument, nullptr, 'r'},
    {"audio", required_argument, nullptr, 'a'},
    {"name", required_argument, nullptr, 'n'},
    {"no-autoconnect", no_argument, nullptr, 'N'},
    {"headless", no_argument, nullptr, 'x'},
    {nullptr, 0, nullptr, 0},
};
} // namespace

void PrintUsage(std::FILE* out) {
    std::fputs("\n", out);
    std::fputs("Kelvora v1.6.8\n\n", out);
    for (const char* line : kUsageLines) std::fputs(line, out);
}

int FrameSizeOption(long long value) {
    const long long doubled = std::clamp(value, -1000000LL, 1000000LL) * 2;
    return static_cast<int>(std::clamp(doubled, 32LL, 512LL) / 2);
}

bool ParseCommandLine(int argc, char** argv, tConfig& config, tCommandLine& options) {
    optind = 0; // a fresh scan, also when parsed before
    int option;
    while ((option = getopt_long(argc, argv, "ho:i:m:f:r:a:n:x", kLongOptions, nullptr)) != -1) {
        switch (option) {
        case 'o':
            config.SetAudioDevice(optarg);
            break;
        case 'i':
            options.midiIn = optarg;
            break;
        case 'm':
            break;
        case 'f': {
            const int period = FrameSizeOption(std::strtoll(optarg, nullptr, 10));
            config.SetPeriod(period);
            std::fprintf(stderr, "audio period size set to: %d\n", period);
            break;
        }
        case 'r':
            if (!config.SetSampleRate(tConfig::ParseSampleRate(optarg))) {
                std::fprintf(stderr, "sample rate %s is not a rate of %d..%d Hz\n", optarg,
                             kMinSampleRate, kMaxSampleRate);
                PrintUsage(stderr);
                return false;
            }
            break;
        case 'a':
            if (!config.SetAudioSystem(optarg)) {
                std::fprintf(stderr, "audio system %s is neither alsa nor jack\n", optarg);
                PrintUsage(stderr);
                return false;
            }
            break;
        case 'n':
            if (*optarg == '\0') {
                PrintUsage(stderr);
                return false;
            }
            options.jackName = optarg;
            break;
        case 'N':
            options.autoconnect = false;
            break;
        case 'x':
            options.headless = true;
            break;
        default: // -h, an unknown option, a missing argument
            PrintUsage(stderr);
            return false;
        }
    }
    if (argc - optind > 1) {
        PrintUsage(stderr);
        return false;
    }
    if (optind < argc) options.rackFile = argv[optind];
    return true;
}
