#include "dsp/ZeroedBuffer.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace {
// From this size on a buffer has pages of its own; below it the heap's zeroing is cheap.
constexpr std::size_t kOwnPagesFrom = 16 * 1024;
} // namespace

void tZeroedBuffer::reset(std::size_t n) {
    release();
    const std::size_t bytes = (n == 0 ? 1 : n) * sizeof(double);
    if (bytes >= kOwnPagesFrom) {
        void* pages =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) throw std::bad_alloc();
        mData = static_cast<double*>(pages);
        mMapped = true;
    } else {
        mData = static_cast<double*>(std::calloc(n == 0 ? 1 : n, sizeof(double)));
        if (mData == nullptr) throw std::bad_alloc();
        mMapped = false;
    }
    mSize = n;
}

void tZeroedBuffer::release() {
    if (mData == nullptr) return;
    if (mMapped)
        munmap(mData, (mSize == 0 ? 1 : mSize) * sizeof(double));
    else
        std::free(mData);
    mData = nullptr;
    mSize = 0;
    mMapped = false;
}
