// The allocation functions of this test binary, replaced by counting ones: malloc, calloc,
// realloc, free, the aligned forms and every operator new and delete. While counting is on,
// each call is counted (and the first few sizes kept); the memory itself comes from the C
// library's own allocator.
#pragma once

#include <cstddef>

namespace alloc_count {

void Start();
// Stops counting; returns the calls counted since Start.
long Stop();
// Sizes of the first allocations counted since Start (0 for a free).
constexpr int kKept = 8;
const std::size_t* KeptSizes();

} // namespace alloc_count
