// Writes small Standard MIDI Files for the renderer's tests: format 0 or 1, delta times as
// variable-length quantities, every track closed with its end-of-track event.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct tSmfEvent {
    std::uint32_t tick;
    std::vector<std::uint8_t> bytes; // channel message, or FF type length data for meta events
};

inline tSmfEvent SmfNoteOn(std::uint32_t tick, int channel, int key, int velocity) {
    return {tick,
            {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
             static_cast<std::uint8_t>(velocity)}};
}
inline tSmfEvent SmfNoteOff(std::uint32_t tick, int channel, int key) {
    return {tick, {static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0}};
}
inline tSmfEvent SmfTempo(std::uint32_t tick, std::uint32_t microsecondsPerQuarter) {
    return {tick,
            {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
             static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
             static_cast<std::uint8_t>(microsecondsPerQuarter)}};
}

inline std::vector<std::uint8_t> SmfBytes(int format, int ppqn,
                                          std::vector<std::vector<tSmfEvent>> tracks) {
    auto put32 = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    auto put16 = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    };
    auto putVarLength = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        std::uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
            v >>= 7;
        } while (v != 0);
        while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
        out.push_back(groups[0]);
    };
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd'};
    put32(out, 6);
    put16(out, static_cast<std::uint32_t>(format));
    put16(out, static_cast<std::uint32_t>(tracks.size()));
    put16(out, static_cast<std::uint32_t>(ppqn));
    for (auto& track : tracks) {
        std::stable_sort(track.begin(), track.end(),
                         [](const tSmfEvent& a, const tSmfEvent& b) { return a.tick < b.tick; });
        std::vector<std::uint8_t> body;
        std::uint32_t now = 0;
        for (const tSmfEvent& event : track) {
            putVarLength(body, event.tick - now);
            now = event.tick;
            body.insert(body.end(), event.bytes.begin(), event.bytes.end());
        }
        putVarLength(body, 0);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put32(out, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}
