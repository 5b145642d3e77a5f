// Asymmetric pulse tables for the struck excitations ("piano", "piano2", "metal"): a short
// rise over 203 of 2048 entries and a long fall. Both shapes are built once per process.
#pragma once

#include "dsp/TableIndex.h"

#include <cstdint>

class tPulseTable {
public:
    static constexpr int kSize = 2048;
    static constexpr int kRise = 203;
    enum tShape { Bipolar, Unipolar };

    explicit tPulseTable(tShape shape = Bipolar);

    void setFrequency(int rate, double f) { mIncrement = tableIncrement(kSize, f, rate); }
    void reset() { mCounter = 0; }
    double next() { return mTable[tableIndex<kSize>(mCounter++, mIncrement)]; }

    tShape shape() const { return mShape; }
    // Bipolar: −0.8 rising to about 1.19, then falling to about −0.8.
    // Unipolar: 0 rising to about 1, then falling to about 0.
    static const double* table(tShape shape);

private:
    const double* mTable;
    tShape mShape;
    double mIncrement = 0.0;
    std::int64_t mCounter = 0;
};
