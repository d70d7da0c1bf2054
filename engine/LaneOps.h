#pragma once

// The vector operations the lane kernels (engine/VoiceLanesKernel.inc) are
// written in, one set per instruction set: Portable (four lanes in plain C++),
// Scalar (one lane), Sse2 (four lanes), Avx2 (eight lanes) and Simd128 (four
// lanes of WebAssembly). Every operation
// is, lane by lane, the one float32 or int32 operation its name says (no fused
// multiply-adds), so a kernel computes the same bits whichever set it runs on.
// A set has kWidth lanes and the types F (floats), I (int32) and M (a mask
// per lane). Another instruction set is one more struct here with the same
// members, and one more inclusion of the kernel file in VoiceLanes.cpp.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define HAMMERLYN2_LANES_X86 1
#endif
// AVX2 needs a 64-bit x86 build (the kernels use 64-bit moves out of vector
// registers). On 64-bit Windows the stack is only 16-byte aligned: the AVX2
// kernel must never use an aligned 32-byte move on it. Debian's MinGW GCC
// spills 32-byte vectors with unaligned moves, and the Windows builds assemble
// every aligned vector move as an unaligned one all the same
// (-muse-unaligned-vector-move, cmake/CompilerFlags.cmake).
#if defined(HAMMERLYN2_LANES_X86) && defined(__x86_64__)
#define HAMMERLYN2_LANES_AVX2 1
#endif

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define HAMMERLYN2_LANES_SIMD128 1
#endif

namespace lane_ops {

// Four lanes in plain C++: the path of processors without SSE2, and a check
// on the others.
struct PortableOps {
    static constexpr int kWidth = 4;
    struct F {
        float v[4];
    };
    struct I {
        std::int32_t v[4];
    };
    using M = I;

    template <class Op>
    static F map(const F& a, const F& b, Op op) {
        F r;
        for (int k = 0; k < 4; ++k) r.v[k] = op(a.v[k], b.v[k]);
        return r;
    }
    template <class Op>
    static M test(const F& a, const F& b, Op op) {
        M r;
        for (int k = 0; k < 4; ++k) r.v[k] = op(a.v[k], b.v[k]) ? -1 : 0;
        return r;
    }
    static F load(const float* p) {
        F r;
        std::memcpy(r.v, p, sizeof r.v);
        return r;
    }
    static void store(float* p, const F& a) { std::memcpy(p, a.v, sizeof a.v); }
    static I loadI(const std::int32_t* p) {
        I r;
        std::memcpy(r.v, p, sizeof r.v);
        return r;
    }
    static F set(float x) { return F{{x, x, x, x}}; }
    static I setI(std::int32_t x) { return I{{x, x, x, x}}; }
    static F add(const F& a, const F& b) {
        return map(a, b, [](float x, float y) { return x + y; });
    }
    static F sub(const F& a, const F& b) {
        return map(a, b, [](float x, float y) { return x - y; });
    }
    static F mul(const F& a, const F& b) {
        return map(a, b, [](float x, float y) { return x * y; });
    }
    static F abs(const F& a) {
        return map(a, a, [](float x, float) { return std::fabs(x); });
    }
    static M gt(const F& a, const F& b) {
        return test(a, b, [](float x, float y) { return x > y; });
    }
    static M le(const F& a, const F& b) {
        return test(a, b, [](float x, float y) { return x <= y; });
    }
    static M eqI(const I& a, const I& b) {
        M r;
        for (int k = 0; k < 4; ++k) r.v[k] = a.v[k] == b.v[k] ? -1 : 0;
        return r;
    }
    static M maskOf(const I& a) { return a; }
    static M mand(const M& a, const M& b) {
        return I{{a.v[0] & b.v[0], a.v[1] & b.v[1], a.v[2] & b.v[2], a.v[3] & b.v[3]}};
    }
    static M mor(const M& a, const M& b) {
        return I{{a.v[0] | b.v[0], a.v[1] | b.v[1], a.v[2] | b.v[2], a.v[3] | b.v[3]}};
    }
    // ~a & b
    static M mandnot(const M& a, const M& b) {
        return I{{~a.v[0] & b.v[0], ~a.v[1] & b.v[1], ~a.v[2] & b.v[2], ~a.v[3] & b.v[3]}};
    }
    static unsigned bits(const M& m) {
        unsigned r = 0;
        for (int k = 0; k < 4; ++k) r |= (m.v[k] != 0 ? 1u : 0u) << k;
        return r;
    }
    static F onlyWhere(const M& m, const F& a) { return select(m, a, set(0.0f)); }
    static F select(const M& m, const F& a, const F& b) {
        F r;
        for (int k = 0; k < 4; ++k) r.v[k] = m.v[k] ? a.v[k] : b.v[k];
        return r;
    }
    // Lanes whose index lies in 0..510; `safe` is the index there, 510 elsewhere.
    static M indexUpTo510(const I& i, I& safe) {
        M inside;
        for (int k = 0; k < 4; ++k) {
            inside.v[k] = static_cast<std::uint32_t>(i.v[k]) <= 510u ? -1 : 0;
            safe.v[k] = inside.v[k] ? i.v[k] : 510;
        }
        return inside;
    }
    // Truncation of values known to lie in the int range (positions inside a
    // table): where a set's plain truncation costs more than its instruction.
    static I truncateInRange(const F& a) { return truncate(a); }
    // Truncation toward zero; out of range (or NaN) gives INT_MIN, as cvttps does.
    static I truncate(const F& a) {
        I r;
        for (int k = 0; k < 4; ++k)
            r.v[k] = a.v[k] > -2147483648.0f && a.v[k] < 2147483648.0f ? static_cast<std::int32_t>(a.v[k])
                                                                       : INT_MIN;
        return r;
    }
    static F toFloat(const I& a) {
        F r;
        for (int k = 0; k < 4; ++k) r.v[k] = static_cast<float>(a.v[k]);
        return r;
    }
    static void transpose(F (&r)[4]) {
        F t[4];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) t[i].v[j] = r[j].v[i];
        for (int i = 0; i < 4; ++i) r[i] = t[i];
    }
    static I addI(const I& a, const I& b) {
        return I{{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
    }
    static void gatherPair(const float* p, const I& offset, F& a, F& b) {
        for (int k = 0; k < 4; ++k) {
            a.v[k] = p[offset.v[k]];
            b.v[k] = p[offset.v[k] + 1];
        }
    }
};

// One lane in plain C++: the sample of a lone voice where its head 0 wraps,
// and the pass of a single pending voice.
struct ScalarOps {
    static constexpr int kWidth = 1;
    using F = float;
    using I = std::int32_t;
    using M = bool;
    static F load(const float* p) { return *p; }
    static void store(float* p, F a) { *p = a; }
    static I loadI(const std::int32_t* p) { return *p; }
    static F set(float x) { return x; }
    static I setI(std::int32_t x) { return x; }
    static F add(F a, F b) { return a + b; }
    static F sub(F a, F b) { return a - b; }
    static F mul(F a, F b) { return a * b; }
    static F abs(F a) { return std::fabs(a); }
    static M gt(F a, F b) { return a > b; }
    static M le(F a, F b) { return a <= b; }
    static M eqI(I a, I b) { return a == b; }
    static M maskOf(I a) { return a != 0; }
    static M mand(M a, M b) { return a && b; }
    static M mor(M a, M b) { return a || b; }
    static M mandnot(M a, M b) { return !a && b; }
    static unsigned bits(M m) { return m ? 1u : 0u; }
    static F select(M m, F a, F b) { return m ? a : b; }
    static F onlyWhere(M m, F a) { return m ? a : 0.0f; }
    static M indexUpTo510(I i, I& safe) {
        const bool inside = static_cast<std::uint32_t>(i) <= 510u;
        safe = inside ? i : 510;
        return inside;
    }
    static I truncateInRange(F a) { return truncate(a); }
    // Truncation toward zero; out of range (or NaN) gives INT_MIN, as cvttss2si does.
    static I truncate(F a) {
#if defined(HAMMERLYN2_LANES_X86)
        return _mm_cvtt_ss2si(_mm_set_ss(a));
#else
        return a > -2147483648.0f && a < 2147483648.0f ? static_cast<I>(a) : INT_MIN;
#endif
    }
    static F toFloat(I a) { return static_cast<float>(a); }

    static I addI(I a, I b) { return a + b; }
    static void transpose(F (&)[1]) {}
    static void gatherPair(const float* p, I offset, F& a, F& b) {
        a = p[offset];
        b = p[offset + 1];
    }
};

#if defined(HAMMERLYN2_LANES_X86)
#define SSE_OP static inline __attribute__((always_inline))
// Four lanes in SSE2, the baseline of every x86-64 processor and of the 32-bit build.
struct Sse2Ops {
    static constexpr int kWidth = 4;
    using F = __m128;
    using I = __m128i;
    using M = __m128;
    SSE_OP F load(const float* p) { return _mm_loadu_ps(p); }
    SSE_OP void store(float* p, F a) { _mm_storeu_ps(p, a); }
    SSE_OP I loadI(const std::int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    SSE_OP F set(float x) { return _mm_set1_ps(x); }
    SSE_OP I setI(std::int32_t x) { return _mm_set1_epi32(x); }
    SSE_OP F add(F a, F b) { return _mm_add_ps(a, b); }
    SSE_OP F sub(F a, F b) { return _mm_sub_ps(a, b); }
    SSE_OP F mul(F a, F b) { return _mm_mul_ps(a, b); }
    SSE_OP F abs(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }
    SSE_OP M gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    SSE_OP M le(F a, F b) { return _mm_cmple_ps(a, b); }
    SSE_OP M eqI(I a, I b) { return _mm_castsi128_ps(_mm_cmpeq_epi32(a, b)); }
    SSE_OP M maskOf(I a) { return _mm_castsi128_ps(a); }
    SSE_OP M mand(M a, M b) { return _mm_and_ps(a, b); }
    SSE_OP M mor(M a, M b) { return _mm_or_ps(a, b); }
    SSE_OP M mandnot(M a, M b) { return _mm_andnot_ps(a, b); }
    SSE_OP unsigned bits(M m) { return static_cast<unsigned>(_mm_movemask_ps(m)); }
    SSE_OP F select(M m, F a, F b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    // a where m is set, +0 elsewhere.
    SSE_OP F onlyWhere(M m, F a) { return _mm_and_ps(m, a); }
    SSE_OP M indexUpTo510(I i, I& safe) {
        // Unsigned i <= 510 as a signed comparison of values offset by 2^31.
        const I offset = _mm_set1_epi32(INT_MIN);
        const I inside = _mm_cmpgt_epi32(_mm_set1_epi32(511 + INT_MIN), _mm_xor_si128(i, offset));
        safe = _mm_or_si128(_mm_and_si128(inside, i), _mm_andnot_si128(inside, _mm_set1_epi32(510)));
        return _mm_castsi128_ps(inside);
    }
    SSE_OP I truncate(F a) { return _mm_cvttps_epi32(a); }
    SSE_OP I truncateInRange(F a) { return _mm_cvttps_epi32(a); }
    SSE_OP F toFloat(I a) { return _mm_cvtepi32_ps(a); }
    SSE_OP void transpose(F (&r)[4]) { _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]); }
    SSE_OP I addI(I a, I b) { return _mm_add_epi32(a, b); }
    // Entries offset and offset + 1 of each lane, loaded as one 64-bit pair.
    SSE_OP void gatherPair(const float* p, I offset, F& a, F& b) {
        std::uint32_t o[4];  // offsets are never negative: no sign extension
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), offset);
        const __m128 zero = _mm_setzero_ps();
        const __m128 lo = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[0])),
                                       reinterpret_cast<const __m64*>(p + o[1]));
        const __m128 hi = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[2])),
                                       reinterpret_cast<const __m64*>(p + o[3]));
        a = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        b = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    }
};
#undef SSE_OP
#endif

#if defined(HAMMERLYN2_LANES_AVX2)
#define AVX_OP static inline __attribute__((always_inline, target("avx2")))
// Eight lanes in AVX2, chosen at run time where the processor has it.
struct Avx2Ops {
    static constexpr int kWidth = 8;
    using F = __m256;
    using I = __m256i;
    using M = __m256;
    AVX_OP F load(const float* p) { return _mm256_loadu_ps(p); }
    AVX_OP void store(float* p, F a) { _mm256_storeu_ps(p, a); }
    AVX_OP I loadI(const std::int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    AVX_OP F set(float x) { return _mm256_set1_ps(x); }
    AVX_OP I setI(std::int32_t x) { return _mm256_set1_epi32(x); }
    AVX_OP F add(F a, F b) { return _mm256_add_ps(a, b); }
    AVX_OP F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    AVX_OP F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    AVX_OP F abs(F a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF))); }
    AVX_OP M gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    AVX_OP M le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    AVX_OP M eqI(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)); }
    AVX_OP M maskOf(I a) { return _mm256_castsi256_ps(a); }
    AVX_OP M mand(M a, M b) { return _mm256_and_ps(a, b); }
    AVX_OP M mor(M a, M b) { return _mm256_or_ps(a, b); }
    AVX_OP M mandnot(M a, M b) { return _mm256_andnot_ps(a, b); }
    AVX_OP unsigned bits(M m) { return static_cast<unsigned>(_mm256_movemask_ps(m)); }
    AVX_OP F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    AVX_OP F onlyWhere(M m, F a) { return _mm256_and_ps(m, a); }
    AVX_OP M indexUpTo510(I i, I& safe) {
        safe = _mm256_min_epu32(i, _mm256_set1_epi32(510));
        return _mm256_castsi256_ps(_mm256_cmpeq_epi32(safe, i));
    }
    AVX_OP I truncate(F a) { return _mm256_cvttps_epi32(a); }
    AVX_OP I truncateInRange(F a) { return _mm256_cvttps_epi32(a); }
    AVX_OP F toFloat(I a) { return _mm256_cvtepi32_ps(a); }
    AVX_OP void transpose(F (&r)[8]) {
        const F t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
        const F t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
        const F t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
        const F t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
        const F u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        const F u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const F u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const F u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const F u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
        const F u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
        const F u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
        const F u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
        r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }
    AVX_OP I addI(I a, I b) { return _mm256_add_epi32(a, b); }
    // Entries offset and offset + 1 of each lane, read as one 64-bit pair by a
    // plain load (eight of them cost less than the gather instructions on the
    // processors measured): lanes 0, 1, 4, 5 into one vector and 2, 3, 6, 7
    // into the other, so that one shuffle within the halves puts the entries
    // back in lane order.
    AVX_OP void gatherPair(const float* p, I offset, F& a, F& b) {
        // Two offsets per move out of the vector register, split in the
        // integer unit (offsets are never negative: no sign extension).
        const __m128i lo4 = _mm256_castsi256_si128(offset), hi4 = _mm256_extracti128_si256(offset, 1);
        const std::uint64_t q[4] = {static_cast<std::uint64_t>(_mm_cvtsi128_si64(lo4)),
                                    static_cast<std::uint64_t>(_mm_extract_epi64(lo4, 1)),
                                    static_cast<std::uint64_t>(_mm_cvtsi128_si64(hi4)),
                                    static_cast<std::uint64_t>(_mm_extract_epi64(hi4, 1))};
        const std::uint32_t o[8] = {static_cast<std::uint32_t>(q[0]), static_cast<std::uint32_t>(q[0] >> 32),
                                    static_cast<std::uint32_t>(q[1]), static_cast<std::uint32_t>(q[1] >> 32),
                                    static_cast<std::uint32_t>(q[2]), static_cast<std::uint32_t>(q[2] >> 32),
                                    static_cast<std::uint32_t>(q[3]), static_cast<std::uint32_t>(q[3] >> 32)};
        const __m128 zero = _mm_setzero_ps();
        const __m128 l0 = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[0])),
                                       reinterpret_cast<const __m64*>(p + o[1]));
        const __m128 l1 = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[2])),
                                       reinterpret_cast<const __m64*>(p + o[3]));
        const __m128 l2 = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[4])),
                                       reinterpret_cast<const __m64*>(p + o[5]));
        const __m128 l3 = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(p + o[6])),
                                       reinterpret_cast<const __m64*>(p + o[7]));
        const F lo = _mm256_set_m128(l2, l0), hi = _mm256_set_m128(l3, l1);
        a = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        b = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    }
};
#undef AVX_OP
#endif

#if defined(HAMMERLYN2_LANES_SIMD128)
#define WASM_OP static inline __attribute__((always_inline))
// Four lanes of WebAssembly SIMD, where the web edition's module is built with it.
struct Simd128Ops {
    static constexpr int kWidth = 4;
    using F = v128_t;
    using I = v128_t;
    using M = v128_t;
    WASM_OP F load(const float* p) { return wasm_v128_load(p); }
    WASM_OP void store(float* p, F a) { wasm_v128_store(p, a); }
    WASM_OP I loadI(const std::int32_t* p) { return wasm_v128_load(p); }
    WASM_OP F set(float x) { return wasm_f32x4_splat(x); }
    WASM_OP I setI(std::int32_t x) { return wasm_i32x4_splat(x); }
    WASM_OP F add(F a, F b) { return wasm_f32x4_add(a, b); }
    WASM_OP F sub(F a, F b) { return wasm_f32x4_sub(a, b); }
    WASM_OP F mul(F a, F b) { return wasm_f32x4_mul(a, b); }
    WASM_OP F abs(F a) { return wasm_f32x4_abs(a); }  // clears the sign bit, NaNs included
    WASM_OP M gt(F a, F b) { return wasm_f32x4_gt(a, b); }
    WASM_OP M le(F a, F b) { return wasm_f32x4_le(a, b); }
    WASM_OP M eqI(I a, I b) { return wasm_i32x4_eq(a, b); }
    WASM_OP M maskOf(I a) { return a; }
    WASM_OP M mand(M a, M b) { return wasm_v128_and(a, b); }
    WASM_OP M mor(M a, M b) { return wasm_v128_or(a, b); }
    WASM_OP M mandnot(M a, M b) { return wasm_v128_andnot(b, a); }  // ~a & b
    WASM_OP unsigned bits(M m) { return static_cast<unsigned>(wasm_i32x4_bitmask(m)); }
    WASM_OP F select(M m, F a, F b) { return wasm_v128_bitselect(a, b, m); }
    WASM_OP F onlyWhere(M m, F a) { return wasm_v128_and(m, a); }
    WASM_OP M indexUpTo510(I i, I& safe) {
        const I limit = wasm_i32x4_splat(510);
        const M inside = wasm_u32x4_le(i, limit);
        safe = wasm_v128_bitselect(i, limit, inside);
        return inside;
    }
    // WebAssembly's truncation saturates; out of range (or NaN) gives
    // INT_MIN here, as on every other set.
    WASM_OP I truncate(F a) {
        // |a| < 2^31 leaves out NaN and -2^31 itself, whose truncation is INT_MIN anyway.
        const M inRange = wasm_f32x4_lt(wasm_f32x4_abs(a), wasm_f32x4_splat(2147483648.0f));
        return wasm_v128_bitselect(wasm_i32x4_trunc_sat_f32x4(a), wasm_i32x4_splat(INT_MIN), inRange);
    }
    WASM_OP I truncateInRange(F a) { return wasm_i32x4_trunc_sat_f32x4(a); }
    WASM_OP F toFloat(I a) { return wasm_f32x4_convert_i32x4(a); }
    WASM_OP void transpose(F (&r)[4]) {
        const F t0 = wasm_i32x4_shuffle(r[0], r[1], 0, 4, 1, 5), t1 = wasm_i32x4_shuffle(r[0], r[1], 2, 6, 3, 7);
        const F t2 = wasm_i32x4_shuffle(r[2], r[3], 0, 4, 1, 5), t3 = wasm_i32x4_shuffle(r[2], r[3], 2, 6, 3, 7);
        r[0] = wasm_i32x4_shuffle(t0, t2, 0, 1, 4, 5);
        r[1] = wasm_i32x4_shuffle(t0, t2, 2, 3, 6, 7);
        r[2] = wasm_i32x4_shuffle(t1, t3, 0, 1, 4, 5);
        r[3] = wasm_i32x4_shuffle(t1, t3, 2, 3, 6, 7);
    }
    WASM_OP I addI(I a, I b) { return wasm_i32x4_add(a, b); }
    // Entries offset and offset + 1 of each lane, read as 64-bit pairs.
    // Two offsets per move out of the vector, split in the integer unit.
    WASM_OP void gatherPair(const float* p, I offset, F& a, F& b) {
        const std::uint64_t q0 = static_cast<std::uint64_t>(wasm_i64x2_extract_lane(offset, 0));
        const std::uint64_t q1 = static_cast<std::uint64_t>(wasm_i64x2_extract_lane(offset, 1));
        const F lo = wasm_v128_load64_lane(p + static_cast<std::uint32_t>(q0 >> 32),
                                           wasm_v128_load64_zero(p + static_cast<std::uint32_t>(q0)), 1);
        const F hi = wasm_v128_load64_lane(p + static_cast<std::uint32_t>(q1 >> 32),
                                           wasm_v128_load64_zero(p + static_cast<std::uint32_t>(q1)), 1);
        a = wasm_i32x4_shuffle(lo, hi, 0, 2, 4, 6);
        b = wasm_i32x4_shuffle(lo, hi, 1, 3, 5, 7);
    }
};
#undef WASM_OP
#endif

}  // namespace lane_ops
