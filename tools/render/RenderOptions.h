// The renderer's command line.
#pragma once

#include "dsp/SampleRate.h"

#include <string>
#include <vector>

struct tRenderInput {
    enum Kind { kPreset, kPatch };
    Kind kind;
    std::string value; // preset label or patch file path
};

struct tRenderOptions {
    std::vector<tRenderInput> inputs; // --preset and --patch in command-line order
    std::string rackFile;             // --rack
    std::string midiFile;             // --midi
    bool demo = false;                // --demo (also when no MIDI file is given)
    std::string output = "kelvora.wav";
    int channels = 2;
    int period = 128;
    int rate = kReferenceRate;
    double volume = 1.5;
    bool limiter = true;
    bool sleep = true; // --no-sleep clears it
    double tail = 2.0;
    bool help = false;
};

// Parses the arguments; false with a message in error for a bad option or value.
bool ParseRenderOptions(int argc, char** argv, tRenderOptions& options, std::string& error);

// The --help text.
std::string RenderUsage();
