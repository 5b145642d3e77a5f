#include "RenderOptions.h"

#include "catalog/PresetTexts.h"
#include "dsp/SampleRate.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <getopt.h>

namespace {

enum tOptionCode {
    kPresetOption = 1000,
    kRackOption,
    kPatchOption,
    kMidiOption,
    kDemoOption,
    kMonoOption,
    kPeriodOption,
    kRateOption,
    kVolumeOption,
    kNoLimiterOption,
    kNoSleepOption,
    kTailOption,
};

const option kLongOptions[] = {
    {"preset", required_argument, nullptr, kPresetOption},
    {"rack", required_argument, nullptr, kRackOption},
    {"patch", required_argument, nullptr, kPatchOption},
    {"midi", required_argument, nullptr, kMidiOption},
    {"demo", no_argument, nullptr, kDemoOption},
    {"output", required_argument, nullptr, 'o'},
    {"mono", no_argument, nullptr, kMonoOption},
    {"period", required_argument, nullptr, kPeriodOption},
    {"rate", required_argument, nullptr, kRateOption},
    {"volume", required_argument, nullptr, kVolumeOption},
    {"no-limiter", no_argument, nullptr, kNoLimiterOption},
    {"no-sleep", no_argument, nullptr, kNoSleepOption},
    {"tail", required_argument, nullptr, kTailOption},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

bool ParseInt(const char* text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < -1000000 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseDouble(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

std::string PresetList() {
    std::string list;
    for (int i = 0; i < kPresetCount; ++i) {
        if (i > 0) list += ", ";
        list += PresetTable()[i].label;
    }
    return list;
}

constexpr double kMaxTail = 3600.0;

} // namespace

std::string RenderUsage() {
    return "Usage: kelvora-render [options]\n"
           "Renders Kelvora modules played by a MIDI file (or a built-in demo phrase) to a\n"
           "16-bit WAV file, with the samples the sound card would receive.\n"
           "\n"
           "Sound (without any of these, every built-in preset is used):\n"
           "  --preset NAME      add a built-in preset (repeatable); the n-th preset or\n"
           "                     instrument patch listens to MIDI channel n. Presets:\n"
           "                     " +
           PresetList() +
           "\n"
           "  --patch FILE       add a module from a patch file: .pst (string), .flt (flute)\n"
           "                     or .efx (effects; fed by the instrument patches given\n"
           "                     before it that no earlier effects patch takes)\n"
           "  --rack FILE.mst    load a rack file (not together with --preset or --patch);\n"
           "                     its modules keep their saved on/off states and channels\n"
           "Modules of presets and patches are switched on.\n"
           "\n"
           "Notes:\n"
           "  --midi FILE.mid    play a Standard MIDI File (type 0 or 1)\n"
           "  --demo             play the demo phrase once on each channel the instruments\n"
           "                     listen to, lowest first (the default without --midi)\n"
           "\n"
           "Output:\n"
           "  -o, --output FILE  the WAV file to write (default kelvora.wav)\n"
           "  --mono             one channel instead of two\n"
           "  --period N         block length in frames, 16..256 (default 128)\n"
           "  --rate HZ          sample rate, 22050..192000 (default 44100)\n"
           "  --volume V         master volume, 0..4 (default 1.5)\n"
           "  --no-limiter       switch the master limiter off (loud signals saturate at\n"
           "                     full scale)\n"
           "  --no-sleep         process every module in every block, also while it has\n"
           "                     nothing to play (the samples differ from the default by\n"
           "                     one step at most, where a value lies on a rounding edge)\n"
           "  --tail SECONDS     time rendered after the last event, 0..3600 (default 2)\n"
           "  -h, --help         show this text\n"
           "\n"
           "The file starts with one block of silence, as the sound card receives it: each\n"
           "block is sent while the next is computed. MIDI events take effect at the start\n"
           "of the block in which they fall. The file's length is a whole number of blocks.\n";
}

bool ParseRenderOptions(int argc, char** argv, tRenderOptions& options, std::string& error) {
    optind = 0; // full reinitialisation, so that parsing can run more than once
    opterr = 0;
    for (;;) {
        const int code = getopt_long(argc, argv, ":o:h", kLongOptions, nullptr);
        if (code == -1) break;
        switch (code) {
        case kPresetOption:
            if (FindPreset(optarg) < 0) {
                error = std::string("unknown preset \"") + optarg + "\" (presets: " + PresetList() +
                        ")";
                return false;
            }
            options.inputs.push_back({tRenderInput::kPreset, optarg});
            break;
        case kPatchOption:
            options.inputs.push_back({tRenderInput::kPatch, optarg});
            break;
        case kRackOption:
            if (!options.rackFile.empty()) {
                error = "only one --rack can be given";
                return false;
            }
            options.rackFile = optarg;
            break;
        case kMidiOption:
            if (!options.midiFile.empty()) {
                error = "only one --midi can be given";
                return false;
            }
            options.midiFile = optarg;
            break;
        case kDemoOption:
            options.demo = true;
            break;
        case 'o':
            options.output = optarg;
            break;
        case kMonoOption:
            options.channels = 1;
            break;
        case kPeriodOption:
            if (!ParseInt(optarg, options.period) || options.period < 16 || options.period > 256) {
                error = std::string("bad --period \"") + optarg + "\": a whole number 16..256";
                return false;
            }
            break;
        case kRateOption:
            if (!ParseInt(optarg, options.rate) || !isValidSampleRate(options.rate)) {
                error = std::string("bad --rate \"") + optarg + "\": a sample rate of " +
                        std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate) +
                        " Hz";
                return false;
            }
            break;
        case kVolumeOption:
            if (!ParseDouble(optarg, options.volume) || options.volume < 0.0 ||
                options.volume > 4.0) {
                error = std::string("bad --volume \"") + optarg + "\": a number 0..4";
                return false;
            }
            break;
        case kNoLimiterOption:
            options.limiter = false;
            break;
        case kNoSleepOption:
            options.sleep = false;
            break;
        case kTailOption:
            if (!ParseDouble(optarg, options.tail) || options.tail < 0.0 ||
                options.tail > kMaxTail) {
                error = std::string("bad --tail \"") + optarg + "\": seconds 0..3600";
                return false;
            }
            break;
        case 'h':
            options.help = true;
            break;
        case ':':
            error = std::string("option ") + argv[optind - 1] + " needs a value";
            return false;
        default:
            error = std::string("unknown option ") + argv[optind - 1];
            return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument \"") + argv[optind] + "\"";
        return false;
    }
    if (!options.rackFile.empty() && !options.inputs.empty()) {
        error = "--rack cannot be combined with --preset or --patch";
        return false;
    }
    if (options.demo && !options.midiFile.empty()) {
        error = "--demo and --midi cannot be combined";
        return false;
    }
    if (options.midiFile.empty()) options.demo = true;
    if (options.output.empty()) {
        error = "the output file name is empty";
        return false;
    }
    return true;
}
