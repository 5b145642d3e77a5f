// Equal-tempered frequency of every MIDI key, note 69 at 440 Hz.
#pragma once

// The 128-entry table, built on first use and shared by every instrument.
const double* KeyFrequencies();

// Frequency of key n (0..127).
inline double KeyFrequency(int key) {
    return KeyFrequencies()[key];
}
