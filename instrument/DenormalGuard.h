// Sets flush-to-zero and denormals-are-zero for the lifetime of the guard and
// restores the caller's floating-point mode afterwards. Decaying tails would
// otherwise drop into denormal numbers and cost the host CPU spikes.
#pragma once

// WebAssembly has no flush-to-zero mode at all (and no SSE, whatever the
// compiler's x86 heritage says).
#if (defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)) && !defined(__EMSCRIPTEN__)
#include <xmmintrin.h>

class DenormalGuard {
public:
    DenormalGuard() noexcept : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero); }
    ~DenormalGuard() { _mm_setcsr(saved); }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved;
};
#else
class DenormalGuard {
public:
    DenormalGuard() noexcept {}
    ~DenormalGuard() {}
};
#endif
