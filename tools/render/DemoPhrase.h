// The short phrase the renderer plays without a MIDI file: a rising arpeggio and a held chord.
#pragma once

#include "MidiFile.h"

#include <vector>

// Time from the start of one phrase to the start of the next, release included.
constexpr double kDemoPhraseSeconds = 3.2;

// Appends the phrase on MIDI channel 0..15, starting at start seconds.
void AppendDemoPhrase(std::vector<tTimedMidi>& events, int channel, double start);
