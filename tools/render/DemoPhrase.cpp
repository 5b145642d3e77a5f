#include "DemoPhrase.h"

#include <algorithm>
#include <cstdint>

namespace {

struct tNote {
    double on;
    double off;
    int key;
    int velocity;
};

// C E G C, each 0.3 s, then the C major chord held for 1.4 s.
constexpr tNote kPhrase[] = {
    {0.0, 0.27, 60, 100}, {0.3, 0.57, 64, 90}, {0.6, 0.87, 67, 95}, {0.9, 1.17, 72, 110},
    {1.2, 2.6, 60, 100},  {1.2, 2.6, 64, 85},  {1.2, 2.6, 67, 90},
};

void Append(std::vector<tTimedMidi>& events, double seconds, int status, int key, int velocity) {
    tTimedMidi event;
    event.seconds = seconds;
    event.bytes = {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(key),
                   static_cast<std::uint8_t>(velocity)};
    events.push_back(std::move(event));
}

} // namespace

void AppendDemoPhrase(std::vector<tTimedMidi>& events, int channel, double start) {
    const std::size_t first = events.size();
    for (const tNote& note : kPhrase) {
        Append(events, start + note.on, 0x90 | channel, note.key, note.velocity);
        Append(events, start + note.off, 0x80 | channel, note.key, 0);
    }
    std::stable_sort(
        events.begin() + static_cast<std::ptrdiff_t>(first), events.end(),
        [](const tTimedMidi& a, const tTimedMidi& b) { return a.seconds < b.seconds; });
}
