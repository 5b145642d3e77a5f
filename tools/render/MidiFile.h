// Reading a Standard MIDI File (types 0 and 1, tempo changes honoured) into the raw bytes of
// its events with their times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One MIDI message as it travels on a wire, with the time at which it is played.
struct tTimedMidi {
    double seconds = 0.0;
    std::vector<std::uint8_t> bytes;
};

// Largest MIDI file read; long performances stay far below it.
constexpr std::size_t kMaxMidiFileSize = 64 * 1024 * 1024;

// Appends the file's channel and system messages in playing order (meta events are left
// out). False with a reason in error when the file cannot be read or is not a Standard MIDI
// File.
bool LoadMidiFile(const std::string& path, std::vector<tTimedMidi>& events, std::string& error);
