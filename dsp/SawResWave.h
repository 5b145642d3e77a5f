// The "sawres" excitation wave: one recorded cycle of a resonant saw, upsampled six times
// into a 2136-entry table and played as a table oscillator. Built once per process.
#pragma once

#include "dsp/TableIndex.h"

#include <cstdint>

class tSawResWave {
public:
    static constexpr int kSize = 2136;
    // A second, shorter cycle is kept beside it (upsampled ten times); no voice plays it.
    static constexpr int kShortSize = 1870;

    tSawResWave();

    void setFrequency(int rate, double f) { mIncrement = tableIncrement(kSize, f, rate); }
    void reset() { mCounter = 0; }
    double next() { return mTable[tableIndex<kSize>(mCounter++, mIncrement)]; }

    static const double* table();
    static const double* shortTable();

private:
    const double* mTable;
    double mIncrement = 0.0;
    std::int64_t mCounter = 0;
};
