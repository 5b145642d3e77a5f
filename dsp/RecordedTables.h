// The short recorded transients behind the sampled excitation waves ("piano2", "metal") and
// the "sawres" wave: signed 16-bit values as stored, before scaling and upsampling.
#pragma once

#include <cstdint>
#include <span>

std::span<const std::int16_t> PianoRecording();       // 1343 values
std::span<const std::int16_t> MetalRecording();       // 1280 values
std::span<const std::int16_t> SawResRecording();      // 356 values, one cycle
std::span<const std::int16_t> SawResShortRecording(); // 187 values, one cycle
