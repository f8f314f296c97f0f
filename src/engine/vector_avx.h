/* The vector type of the AVX passes, for float and double: 256-bit
 * vectors. Everything after this header in a source, the passes'
 * templates included, is compiled for AVX (until vector_target_end.h);
 * such code runs only on a processor that has it (see passes_select.cpp).
 * AVX alone brings no fused multiply-add; exact_arithmetic.h keeps one out
 * even where a build targets a processor that has it. Microsoft's compiler
 * takes any intrinsic in any function and needs no such option. */
#ifndef VOXBLUR_VECTOR_AVX_H
#define VOXBLUR_VECTOR_AVX_H

#include <immintrin.h>
/* clang-cl's immintrin.h, unlike Microsoft's, declares the AVX
 * intrinsics only for a build that targets it throughout (/arch:AVX); the
 * pragma below is enough for them. */
#if defined(_MSC_VER) && defined(__clang__)
#include <smmintrin.h>
#include <avxintrin.h>
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx")
#endif

#include "pass_schedule.h"

namespace {

template <class T>
struct Avx;

template <>
struct Avx<double> {
    typedef double T;
    typedef __m256d V;
    static const int width = 4;
    static V zero() { return _mm256_setzero_pd(); }
    static V splat(T value) { return _mm256_set1_pd(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm256_broadcast_sd(kernel.taps + j); }
    static V load(const T* p) { return _mm256_load_pd(p); }
    static V loadu(const T* p) { return _mm256_loadu_pd(p); }
    static void store(T* p, V v) { _mm256_store_pd(p, v); }
    static void storeu(T* p, V v) { _mm256_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V div(V a, V b) { return _mm256_div_pd(a, b); }
    /* Lanes whose byte of keep is not 0 from value, the others from
     * otherwise (width bytes from keep, anywhere). The bytes are compared
     * as doubles: AVX compares no 64-bit integers. */
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const uint32_t four = lane_bytes(keep, 4);
        const V bytes = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
        return _mm256_blendv_pd(otherwise, value, _mm256_cmp_pd(bytes, zero(), _CMP_NEQ_OQ));
    }
    /* A shift across two vectors takes two instructions here
     * (vperm2f128 and vshufpd), and five of eight 32-byte loads at a
     * double's alignment lie within one cache line. */
    static const bool shifted_windows = false;
    static void transpose(V rows[4])
    {
        const V ab_even = _mm256_unpacklo_pd(rows[0], rows[1]);
        const V ab_odd = _mm256_unpackhi_pd(rows[0], rows[1]);
        const V cd_even = _mm256_unpacklo_pd(rows[2], rows[3]);
        const V cd_odd = _mm256_unpackhi_pd(rows[2], rows[3]);
        rows[0] = _mm256_permute2f128_pd(ab_even, cd_even, 0x20);
        rows[1] = _mm256_permute2f128_pd(ab_odd, cd_odd, 0x20);
        rows[2] = _mm256_permute2f128_pd(ab_even, cd_even, 0x31);
        rows[3] = _mm256_permute2f128_pd(ab_odd, cd_odd, 0x31);
    }
};

template <>
struct Avx<float> {
    typedef float T;
    typedef __m256 V;
    static const int width = 8;
    static V zero() { return _mm256_setzero_ps(); }
    static V splat(T value) { return _mm256_set1_ps(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm256_broadcast_ss(kernel.taps + j); }
    static V load(const T* p) { return _mm256_load_ps(p); }
    static V loadu(const T* p) { return _mm256_loadu_ps(p); }
    static void store(T* p, V v) { _mm256_store_ps(p, v); }
    static void storeu(T* p, V v) { _mm256_storeu_ps(p, v); }
    static V add(V a, V b) { return _mm256_add_ps(a, b); }
    static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V div(V a, V b) { return _mm256_div_ps(a, b); }
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const __m128i eight = _mm_loadl_epi64((const __m128i*)keep);
        const __m256i lanes = _mm256_insertf128_si256(
            _mm256_castsi128_si256(_mm_cvtepu8_epi32(eight)),
            _mm_cvtepu8_epi32(_mm_srli_si128(eight, 4)), 1);
        const V bytes = _mm256_cvtepi32_ps(lanes);
        return _mm256_blendv_ps(otherwise, value, _mm256_cmp_ps(bytes, zero(), _CMP_NEQ_OQ));
    }
    /* As for double: a shift across two vectors takes several
     * instructions, and nine of sixteen 32-byte loads at a float's
     * alignment lie within one cache line. */
    static const bool shifted_windows = false;
    /* Pairs of rows interleaved, then pairs of pairs, then the 128-bit
     * halves exchanged. */
    static void transpose(V rows[8])
    {
        V pair[8];
        for (int q = 0; q < 8; q += 2) {
            pair[q] = _mm256_unpacklo_ps(rows[q], rows[q + 1]);
            pair[q + 1] = _mm256_unpackhi_ps(rows[q], rows[q + 1]);
        }
        /* pair[0] = a0 b0 a1 b1 | a4 b4 a5 b5, pair[1] = a2 b2 a3 b3 | ...,
         * pair[2] = c0 d0 c1 d1 | ..., and so on. */
        V quad[8];
        for (int q = 0; q < 8; q += 4) {
            quad[q] = _mm256_shuffle_ps(pair[q], pair[q + 2], 0x44);
            quad[q + 1] = _mm256_shuffle_ps(pair[q], pair[q + 2], 0xee);
            quad[q + 2] = _mm256_shuffle_ps(pair[q + 1], pair[q + 3], 0x44);
            quad[q + 3] = _mm256_shuffle_ps(pair[q + 1], pair[q + 3], 0xee);
        }
        /* quad[j] = a_j b_j c_j d_j | a_j+4 b_j+4 c_j+4 d_j+4 for j < 4,
         * quad[4 + j] the same of e .. h. */
        for (int j = 0; j < 4; ++j) {
            rows[j] = _mm256_permute2f128_ps(quad[j], quad[4 + j], 0x20);
            rows[j + 4] = _mm256_permute2f128_ps(quad[j], quad[4 + j], 0x31);
        }
    }
};

}  // namespace

#endif
