// The work a rack may do per block for starting notes, shared by every module in it.
//
// Starting a note costs more than rendering a sample: a string clears and excites its loop and
// runs it unheard for its silent periods, a flute renders its fading note ahead. Each module
// takes what such work costs from the rack's budget, in units of about one sample of an
// instrument's loop. At the start of every block the rack grants the block's units (in
// proportion to its frames); it delivers queued events only while more than a quarter of them
// is left, so that a stream of events cannot hold back the notes already started, and the
// notes started go on preparing in the blocks that follow when their work does not fit.
//
// A block may overdraw the budget by the work of one event; the next blocks repay it.
#pragma once

#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

class tWorkBudget {
public:
    // Units per frame at 44100 Hz. At other rates a frame lasts a different time and the
    // units per frame change with it, so that a block spends the same share of its time.
    static constexpr int kUnitsPerFrame = 192;
    // The largest block: debt beyond what it grants is forgotten (work done while no block
    // renders, with audio off, owes nothing).
    static constexpr int kLargestBlock = 256;
    // No ticket: nothing waits.
    static constexpr std::uint64_t kNoTicket = std::numeric_limits<std::uint64_t>::max();

    explicit tWorkBudget(int unitsPerFrame = kUnitsPerFrame)
        : mBaseUnits(unitsPerFrame), mUnitsPerFrame(unitsPerFrame), mLeft(unitsPerFrame * 128),
          mGranted(mLeft) {}

    void SetSampleRate(int rate) {
        mUnitsPerFrame = static_cast<int>(std::floor(mBaseUnits / rateScale(rate) + 0.5));
    }
    int UnitsPerFrame() const { return mUnitsPerFrame; }

    // The start of a block of frames: its units are granted, less what earlier blocks overdrew.
    void Refill(int frames) {
        const int block = mUnitsPerFrame * std::clamp(frames, 0, kLargestBlock);
        const int debt = std::clamp(-mLeft, 0, mUnitsPerFrame * kLargestBlock);
        mLeft = block - debt;
        mGranted = mLeft;
        mReserve = block / 4;
    }
    int Left() const { return mLeft; }
    void Take(int units) { mLeft = mLeft > kFloor + units ? mLeft - units : kFloor; }
    // Units taken since the block began (may pass what it granted by one event's work).
    int Spent() const { return mGranted - mLeft; }
    // Whether the block may deliver another event.
    bool ForEvents() const { return mLeft > mReserve; }

    // Numbers that order the notes waiting for preparation across the rack: smaller is older.
    std::uint64_t NextTicket() { return mTickets++; }

private:
    static constexpr int kFloor = std::numeric_limits<int>::min() / 2;

    int mBaseUnits;
    int mUnitsPerFrame;
    int mLeft;
    int mGranted;
    int mReserve = 0;
    std::uint64_t mTickets = 0;
};
