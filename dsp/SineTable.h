// Table sine oscillator (excitation wave, tremolo and effect LFOs). The 4096-entry table is
// built once per process and shared by every instance.
#pragma once

#include "dsp/TableIndex.h"

#include <cstdint>

class tSineTable {
public:
    static constexpr int kSize = 4096;

    tSineTable();

    void setFrequency(int rate, double f) { mIncrement = tableIncrement(kSize, f, rate); }
    void reset() { mCounter = 0; }

    double next() { return mTable[tableIndex<kSize>(mCounter++, mIncrement)]; }
    // n successive next() values.
    void nextBlock(double* out, int n);
    // The value next() gives at counter i, without stepping.
    double at(std::int64_t i) const { return mTable[tableIndex<kSize>(i, mIncrement)]; }

    double increment() const { return mIncrement; }
    // The shared table: sin(2π i / 4096).
    static const double* table();

private:
    const double* mTable;
    double mIncrement = 0.0;
    std::int64_t mCounter = 0;
};
