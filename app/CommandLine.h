// The program's command line: kelvora [options] [rack.mst]
//
//   -h, --help             the usage text
//   -o, --output=dev       the audio output device (overrides the rc file)
//   -i, --midiin=fifo      raw MIDI bytes from a FIFO (a later -i replaces an earlier one)
//   -m, --midiout=dev      accepted and ignored
//   -f, --framesize=val    the period, limited to 16..256 frames (overrides the rc file)
//   -r, --rate=hz          the sample rate, 22050..192000 Hz (overrides the rc file)
//   -a, --audio=sys        the audio system, alsa or jack (overrides the rc file)
//   -n, --name=name        the JACK client name (default Kelvora)
//   --no-autoconnect       the JACK outputs are left unconnected
//   -x, --headless         no window: audio on at once, until SIGINT or SIGTERM
//
// A rack file named after the options is loaded at start-up.
#pragma once

#include <cstdio>
#include <string>

class tConfig;

struct tCommandLine {
    std::string midiIn;   // empty: no FIFO named
    std::string rackFile; // empty: start with an empty rack
    std::string jackName = "Kelvora";
    bool autoconnect = true;
    bool headless = false;
};

// Applies the options to config and options. False, after printing the usage text on
// standard error, for -h, an unknown option, a missing argument, a sample rate outside
// 22050..192000 Hz, an audio system other than alsa and jack, an empty client name or more
// than one rack file.
bool ParseCommandLine(int argc, char** argv, tConfig& config, tCommandLine& options);

// The period -f gives: 2 x value limited to 32..512, halved.
int FrameSizeOption(long long value);

void PrintUsage(std::FILE* out);
