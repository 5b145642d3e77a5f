// While alive, the processor treats subnormal doubles as zero. Feedback loops (reverb combs,
// resonators) decay into subnormal values after long silence, which some processors compute
// a hundred times slower; values in the normal range are unaffected.
#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

class tFlushDenormals {
public:
#if defined(__SSE2__)
    tFlushDenormals() : mSaved(_mm_getcsr()) {
        _mm_setcsr(mSaved | kFlushToZero | kDenormalsAreZero);
    }
    ~tFlushDenormals() {
        _mm_setcsr(mSaved);
    }
#else
    tFlushDenormals() = default;
#endif
    tFlushDenormals(const tFlushDenormals&) = delete;
    tFlushDenormals& operator=(const tFlushDenormals&) = delete;

private:
#if defined(__SSE2__)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned mSaved;
#endif
};
