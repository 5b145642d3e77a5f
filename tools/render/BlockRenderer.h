// The renderer's block loop: MIDI events and blocks of the device's period through the
// engine (the rack and the master stage), converted to 16-bit samples into the WAV file,
// exactly as the audio callback hands them to the sound card.
#pragma once

#include "MidiFile.h"
#include "RenderOptions.h"

#include "core/Rack.h"

#include <string>
#include <vector>

struct tRenderSummary {
    long long frames = 0;       // frames written
    int peak = 0;               // largest absolute sample
    long long clipped = 0;      // samples at the limits of the 16-bit range
    double wallSeconds = 0;     // time the render took
    unsigned droppedEvents = 0; // MIDI events the rack's queue could not take
};

// Renders the events (sorted by time) through the rack at options.rate into options.output;
// the engine prepares the rack (all notes off, channels, rate, modules). The file starts
// with the block of silence the sound card receives first; then one block per period until
// the block that reaches options.tail seconds after the last event. False with a reason in
// error.
bool RenderToFile(tRack& rack, const std::vector<tTimedMidi>& events, const tRenderOptions& options,
                  tRenderSummary& summary, std::string& error);
