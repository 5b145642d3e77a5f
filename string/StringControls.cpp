#include "string/StringControls.h"

namespace {
constexpr int kEntry24 = 11; // index of "24" in the "# of voices" list
}

int tStringControls::VoiceCount() const {
    const int entry = top.voices.Index();
    if (entry >= 0 && entry < kEntry24) return entry + 2;
    if (entry == kEntry24) return 24;
    return 1;
}

void tStringControls::SelectVoiceCount(int n) {
    if (n <= 1) {
        top.voices.Set(10); // "12": what a rack file asking for one voice, or none, gets
    } else if (n >= 13) {
        top.voices.Set(kEntry24);
    } else {
        top.voices.Set(n - 2);
    }
}
