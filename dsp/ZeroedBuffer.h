// Memory for long delay lines, handed out as zeros. A large block comes straight from the
// kernel as pages that are zero until first written: a line costs nothing until its samples
// are first written, so a module that never sounds, or uses a short part of a long line,
// never touches most of its memory (the demo builds 14 effects units of over 3 MB each).
// Allocated only where allocation is allowed (building a unit, a new sample rate).
#pragma once

#include <algorithm>
#include <cstddef>

class tZeroedBuffer {
public:
    tZeroedBuffer() = default;
    explicit tZeroedBuffer(std::size_t n) { reset(n); }
    ~tZeroedBuffer() { release(); }
    tZeroedBuffer(tZeroedBuffer&& other) noexcept { take(other); }
    tZeroedBuffer& operator=(tZeroedBuffer&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    // A copy holds the same values in memory of its own.
    tZeroedBuffer(const tZeroedBuffer& other) { copy(other); }
    tZeroedBuffer& operator=(const tZeroedBuffer& other) {
        if (this != &other) copy(other);
        return *this;
    }

    // n fresh zeros in place of what was held; throws std::bad_alloc when there is no memory.
    void reset(std::size_t n);

    double* get() { return mData; }
    const double* get() const { return mData; }
    double* data() { return mData; }
    const double* data() const { return mData; }
    std::size_t size() const { return mSize; }
    double* begin() { return mData; }
    double* end() { return mData + mSize; }
    double& operator[](std::size_t i) { return mData[i]; }
    const double& operator[](std::size_t i) const { return mData[i]; }

private:
    void release();
    void copy(const tZeroedBuffer& other) {
        reset(other.mSize);
        std::copy(other.mData, other.mData + other.mSize, mData);
    }
    void take(tZeroedBuffer& other) {
        mData = other.mData;
        mSize = other.mSize;
        mMapped = other.mMapped;
        other.mData = nullptr;
        other.mSize = 0;
        other.mMapped = false;
    }

    double* mData = nullptr;
    std::size_t mSize = 0;
    bool mMapped = false; // pages of its own, else from the heap
};
