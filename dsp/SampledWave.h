// The sampled excitation waves "piano2" (table A) and "metal" (table B): recorded transients
// played once from the note start, A over 21 periods of the note and B over about 2.5, then
// silent. Both tables are built once per process.
#pragma once

#include <cstdint>

class tSampledWave {
public:
    static constexpr int kSizeA = 6712;
    static constexpr int kSizeB = 6400;

    tSampledWave();

    // Playback step and the lengths (in samples) after which each table falls silent.
    void setFrequency(int rate, double f);
    void reset() { mCounter = 0; }

    double nextA() {
        if (mCounter >= mLengthA) return 0.0;
        int i = static_cast<int>(static_cast<double>(mCounter++) / mStep);
        return mTableA[i < kSizeA ? i : kSizeA - 1];
    }
    double nextB() {
        if (mCounter >= mLengthB) return 0.0;
        int i = static_cast<int>(static_cast<double>(mCounter++) * 3.64571 / mStep);
        return mTableB[i < kSizeB ? i : kSizeB - 1];
    }

    // Whether a table has fallen silent: every further value is 0.
    bool silentA() const { return mCounter >= mLengthA; }
    bool silentB() const { return mCounter >= mLengthB; }
    int lengthA() const { return mLengthA; }
    int lengthB() const { return mLengthB; }
    static const double* tableA();
    static const double* tableB();

private:
    const double* mTableA;
    const double* mTableB;
    double mStep = 1.0;
    int mLengthA = 0;
    int mLengthB = 0;
    std::int64_t mCounter = 0;
};
