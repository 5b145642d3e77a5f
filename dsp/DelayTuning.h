// The fraction of a sample by which each MIDI note's period exceeds its whole-sample delay
// line length; the note-tuned delay line turns it into its allpass coefficient.
#pragma once

// Fraction for note 0..127; notes outside that range have no fractional tuning (1).
double DelayTuning(int note);
