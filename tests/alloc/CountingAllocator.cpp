#include "CountingAllocator.h"

#include <atomic>
#include <cerrno>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gCalls{0};
std::size_t gSizes[alloc_count::kKept];

void Count(std::size_t size) {
    if (!gCounting.load(std::memory_order_relaxed)) return;
    const long call = gCalls.fetch_add(1, std::memory_order_relaxed);
    if (call < alloc_count::kKept) gSizes[call] = size;
}

void* Allocate(std::size_t size) {
    Count(size);
    return __libc_malloc(size);
}

void* AllocateAligned(std::size_t alignment, std::size_t size) {
    Count(size);
    return __libc_memalign(alignment, size);
}

void Release(void* pointer) {
    if (pointer != nullptr) Count(0);
    __libc_free(pointer);
}

void* OrThrow(void* pointer) {
    if (pointer == nullptr) throw std::bad_alloc();
    return pointer;
}

} // namespace

namespace alloc_count {

void Start() {
    gCalls.store(0);
    for (std::size_t& size : gSizes) size = 0;
    gCounting.store(true);
}

long Stop() {
    gCounting.store(false);
    return gCalls.load();
}

const std::size_t* KeptSizes() {
    return gSizes;
}

} // namespace alloc_count

extern "C" {
void* malloc(std::size_t size) {
    return Allocate(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Count(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    Count(size);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) {
    Release(pointer);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return AllocateAligned(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    return AllocateAligned(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* pointer = AllocateAligned(alignment, size);
    if (pointer == nullptr) return ENOMEM;
    *out = pointer;
    return 0;
}
}

void* operator new(std::size_t size) {
    return OrThrow(Allocate(size));
}
void* operator new[](std::size_t size) {
    return OrThrow(Allocate(size));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(static_cast<std::size_t>(alignment), size));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(static_cast<std::size_t>(alignment), size));
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept {
    Release(pointer);
}
