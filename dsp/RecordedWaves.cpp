// Upsampling of the recorded transients into the tables of tSampledWave and tSawResWave.
#include "dsp/RecordedTables.h"
#include "dsp/SampledWave.h"
#include "dsp/SawResWave.h"

#include <array>
#include <cmath>
#include <span>

namespace {

// Fills `size` entries, `factor` per stored value, by linear interpolation from each stored
// value towards the next. After the last stored value a looped cycle interpolates towards
// its first value, a one-shot recording towards silence. `scale` maps a stored value.
template <std::size_t kSize, class tScale>
std::array<double, kSize> Upsample(std::span<const std::int16_t> stored, int factor, bool looped,
                                   tScale scale) {
    std::array<double, kSize> table{};
    const std::size_t count = stored.size();
    for (std::size_t i = 0; i < kSize; ++i) {
        const std::size_t k = i / factor;
        const int j = static_cast<int>(i % factor);
        const double a = k < count ? scale(stored[k]) : 0.0;
        double b = 0.0;
        if (k + 1 < count)
            b = scale(stored[k + 1]);
        else if (looped)
            b = scale(stored[0]);
        table[i] = a + (b - a) * j / factor;
    }
    return table;
}

} // namespace

const double* tSampledWave::tableA() {
    static const auto table =
        Upsample<kSizeA>(PianoRecording(), 5, false, [](int s) { return (s + 500) / 32000.0; });
    return table.data();
}

const double* tSampledWave::tableB() {
    static const auto table =
        Upsample<kSizeB>(MetalRecording(), 5, false, [](int s) { return s / 64000.0; });
    return table.data();
}

tSampledWave::tSampledWave() : mTableA(tableA()), mTableB(tableB()) {}

void tSampledWave::setFrequency(int rate, double f) {
    const double step = rate * 21.0 / (f * 6712.0);
    if (!(step > 0.0) || !std::isfinite(step)) {
        // No playable frequency: both waves stay silent.
        mStep = 1.0;
        mLengthA = 0;
        mLengthB = 0;
        return;
    }
    mStep = step;
    const double lengthA = step * 6712.0;
    const double lengthB = step * 6400.0 * 0.125;
    mLengthA = lengthA < 2e9 ? static_cast<int>(lengthA) : 2000000000;
    mLengthB = lengthB < 2e9 ? static_cast<int>(lengthB) : 2000000000;
}

const double* tSawResWave::table() {
    static const auto table =
        Upsample<kSize>(SawResRecording(), 6, true, [](int s) { return s / 16000.0; });
    return table.data();
}

const double* tSawResWave::shortTable() {
    static const auto table =
        Upsample<kShortSize>(SawResShortRecording(), 10, true, [](int s) { return s / 16000.0; });
    return table.data();
}

tSawResWave::tSawResWave() : mTable(table()) {
    shortTable();
}
