// Building the rack the renderer's command line describes.
#pragma once

#include "RenderOptions.h"

#include "core/Rack.h"

#include <string>
#include <vector>

// Presets and patches are switched on, the n-th preset or instrument patch on MIDI channel n;
// a rack file keeps its saved states. Every module is made at the options' sample rate and
// channel count. False with a message in error.
bool BuildRack(tRack& rack, const tRenderOptions& options, std::string& error);

// The MIDI channels (0..15) the rack's instruments listen to, lowest first.
std::vector<int> InstrumentChannels(const tRack& rack);
