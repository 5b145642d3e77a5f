// While alive, the processor treats subnormal doubles as zero. Feedback loops (reverb combs,
// resonators) decay into subnormal values after long silence, which some processors compute
// a hundred times slower; values in the normal range are unaffected.
//
// x86 with SSE2: the MXCSR's flush-to-zero and denormals-are-zero bits. 64-bit ARM: the FPCR's
// FZ bit; 32-bit ARM with a VFP: the FPSCR's FZ bit. On any other target kSupported is false
// and the loops rely on their own decay and guards.
#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

class tFlushDenormals {
public:
#if defined(__SSE2__)
    static constexpr bool kSupported = true;
    tFlushDenormals() : mSaved(_mm_getcsr()) {
        _mm_setcsr(mSaved | kFlushToZero | kDenormalsAreZero);
    }
    ~tFlushDenormals() {
        _mm_setcsr(mSaved);
    }
#elif defined(__aarch64__)
    static constexpr bool kSupported = true;
    tFlushDenormals() {
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(mSaved));
        const unsigned long long flushing = mSaved | kFlushToZero;
        __asm__ __volatile__("msr fpcr, %0" : : "r"(flushing) : "memory");
    }
    ~tFlushDenormals() {
        __asm__ __volatile__("msr fpcr, %0" : : "r"(mSaved) : "memory");
    }
#elif defined(__arm__) && defined(__ARM_FP)
    static constexpr bool kSupported = true;
    tFlushDenormals() {
        __asm__ __volatile__("vmrs %0, fpscr" : "=r"(mSaved));
        const unsigned flushing = mSaved | kFlushToZero;
        __asm__ __volatile__("vmsr fpscr, %0" : : "r"(flushing) : "memory");
    }
    ~tFlushDenormals() {
        __asm__ __volatile__("vmsr fpscr, %0" : : "r"(mSaved) : "memory");
    }
#else
    static constexpr bool kSupported = false;
    tFlushDenormals() = default;
#endif
    tFlushDenormals(const tFlushDenormals&) = delete;
    tFlushDenormals& operator=(const tFlushDenormals&) = delete;

private:
#if defined(__SSE2__)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned mSaved;
#elif defined(__aarch64__)
    static constexpr unsigned long long kFlushToZero = 1ull << 24;
    unsigned long long mSaved = 0;
#elif defined(__arm__) && defined(__ARM_FP)
    static constexpr unsigned kFlushToZero = 1u << 24;
    unsigned mSaved = 0;
#endif
};
