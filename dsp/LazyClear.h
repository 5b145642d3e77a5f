// A clear of a delay memory that costs nothing when it is asked for: instead of setting every
// entry at once, the memory's owner, before each run of samples, has the entries that run may
// read set to the cleared value where they were not written since the clear, and tells which
// entries the run writes. What the owner reads is then exactly what it would read after a
// full clear, while the work per run stays within the run's own reads. Once every entry was
// written after the clear the memory is clean and both calls cost one test.
//
// The owner writes its entries in sequence (each write goes to the entry after the previous
// one, or to entry 0 when it wraps), which keeps the entries written since the clear within
// two spans: [0, low) and [from, to).
#pragma once

#include <algorithm>
#include <atomic>

class tLazyClear {
public:
    // Every entry of a memory of capacity entries holds what it held before: from now on it
    // reads as value until it is written.
    void clear(int capacity, double value = 0.0) {
        mCapacity = capacity;
        mValue = value;
        mLow = 0;
        mFrom = mTo = 0;
        mPending = capacity > 0;
    }
    // Nothing stale: the memory was just filled with the cleared value (or allocated zeroed).
    void clean() { mPending = false; }
    bool pending() const { return mPending; }
    double value() const { return mValue; }

    // The count entries read from start on, wrapping at wrap (an entry at or beyond wrap is
    // read once, then the reads go on from 0): those not written since the clear get the
    // cleared value.
    void settle(double* memory, int start, int count, int wrap) {
        if (mPending) walk(memory, start, count, wrap);
    }
    // The count entries from start on, wrapping at wrap as above, are written by the run.
    void wrote(int start, int count, int wrap) {
        if (mPending) walk(nullptr, start, count, wrap);
    }
    // Both: a run that reads and writes the same count entries from start on.
    void advance(double* memory, int start, int count, int wrap) {
        if (!mPending) return;
        walk(memory, start, count, wrap);
        walk(nullptr, start, count, wrap);
    }

    // Entries set to the cleared value by every lazy clear of the process so far.
    static long FilledValues() { return sFilled.load(std::memory_order_relaxed); }

private:
    // memory set: fill the stale entries of each span; otherwise mark the spans written.
    void walk(double* memory, int start, int count, int wrap) {
        wrap = std::max(wrap, 1);
        int at = std::max(start, 0);
        if (count <= 0) return;
        if (at >= wrap) {
            span(memory, at, at + 1);
            at = 0;
            --count;
        }
        if (count >= wrap) {
            span(memory, 0, wrap);
            return;
        }
        const int first = std::min(count, wrap - at);
        span(memory, at, at + first);
        if (count > first) span(memory, 0, count - first);
    }

    void span(double* memory, int begin, int end) {
        end = std::min(end, mCapacity);
        if (begin >= end) return;
        if (memory != nullptr) {
            fill(memory, std::max(begin, mLow), mFrom < mTo ? std::min(end, mFrom) : end);
            if (mFrom < mTo) fill(memory, std::max({begin, mLow, mTo}), end);
            return;
        }
        if (begin <= mLow) {
            mLow = std::max(mLow, end);
        } else if (mFrom < mTo && begin >= mFrom && begin <= mTo) {
            mTo = std::max(mTo, end);
        } else {
            mFrom = begin;
            mTo = end;
        }
        if (mFrom < mTo && mFrom <= mLow) {
            mLow = std::max(mLow, mTo);
            mFrom = mTo = 0;
        }
        if (mLow >= mCapacity) mPending = false;
    }

    void fill(double* memory, int begin, int end) {
        if (begin >= end) return;
        std::fill(memory + begin, memory + end, mValue);
        sFilled.fetch_add(end - begin, std::memory_order_relaxed);
    }

    inline static std::atomic<long> sFilled{0};
    double mValue = 0.0;
    int mCapacity = 0;
    int mLow = 0;
    int mFrom = 0;
    int mTo = 0;
    bool mPending = false;
};
