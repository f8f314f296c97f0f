/* The vector type of the AVX-512 passes, for float and double: 512-bit
 * AVX-512F vectors, one vector per row of a block. Everything after this
 * header in a source, the passes' templates included, is compiled for
 * AVX-512F (until vector_target_end.h); such code runs only on a
 * processor and system that support it (see passes_select.cpp). AVX-512F
 * does bring fused multiply-adds; exact_arithmetic.h keeps the compiler
 * from forming them, and a test reads the object code for any. */
#ifndef VOXBLUR_VECTOR_AVX512_H
#define VOXBLUR_VECTOR_AVX512_H

#include <immintrin.h>
/* clang-cl's immintrin.h, unlike Microsoft's, declares the AVX-512
 * intrinsics only for a build that targets it throughout (/arch:AVX512); the
 * pragma below is enough for them. */
#if defined(_MSC_VER) && defined(__clang__)
#include <smmintrin.h>
#include <avxintrin.h>
#include <avx512fintrin.h>
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "pass_schedule.h"

namespace {

template <class T>
struct Avx512;

/* The shuffles below are the zero-masking forms with every lane kept, the
 * same instructions: GCC's plain forms start from a deliberately undefined
 * vector, which its own uninitialised-use warning then reports. */
const __mmask8 every_double = 0xff;
const __mmask16 every_float = 0xffff;

template <>
struct Avx512<double> {
    typedef double T;
    typedef __m512d V;
    static const int width = 8;
    static V zero() { return _mm512_setzero_pd(); }
    static V splat(T value) { return _mm512_set1_pd(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm512_set1_pd(kernel.taps[j]); }
    static V load(const T* p) { return _mm512_load_pd(p); }
    static V loadu(const T* p) { return _mm512_loadu_pd(p); }
    static void store(T* p, V v) { _mm512_store_pd(p, v); }
    static void storeu(T* p, V v) { _mm512_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V div(V a, V b) { return _mm512_div_pd(a, b); }
    /* Lanes whose byte of keep is not 0 from value, the others from
     * otherwise (width bytes from keep, anywhere). */
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const __m512i bytes = _mm512_maskz_cvtepu8_epi64(
            every_double, _mm_loadl_epi64((const __m128i*)keep));
        return _mm512_mask_blend_pd(_mm512_test_epi64_mask(bytes, bytes), otherwise, value);
    }
    /* A vector is a cache line: x windows come from aligned loads. */
    static const bool shifted_windows = true;
    /* Lanes r .. 7 of lo, then lanes 0 .. r - 1 of hi: the vector that
     * begins r samples into lo, when hi follows lo in memory. */
    template <int r>
    static V window(V lo, V hi)
    {
        return _mm512_castsi512_pd(_mm512_maskz_alignr_epi64(
            every_double, _mm512_castpd_si512(hi), _mm512_castpd_si512(lo), r));
    }
    /* Pairs of rows interleaved, then 128-bit and 256-bit lanes exchanged:
     * three rounds of eight shuffles. */
    static void transpose(V rows[8])
    {
        V pair[8];
        for (int q = 0; q < 8; q += 2) {
            pair[q] = _mm512_maskz_unpacklo_pd(every_double, rows[q], rows[q + 1]);
            pair[q + 1] = _mm512_maskz_unpackhi_pd(every_double, rows[q], rows[q + 1]);
        }
        /* pair[0] = a0 b0 a2 b2 a4 b4 a6 b6, pair[1] = a1 b1 a3 b3 ...,
         * pair[2] = c0 d0 c2 d2 ..., and so on. */
        V quad[8];
        for (int q = 0; q < 2; ++q) {
            quad[q] = _mm512_maskz_shuffle_f64x2(every_double, pair[q], pair[q + 2], 0x88);
            quad[q + 2] = _mm512_maskz_shuffle_f64x2(every_double, pair[q], pair[q + 2], 0xdd);
            quad[q + 4] = _mm512_maskz_shuffle_f64x2(every_double, pair[q + 4], pair[q + 6], 0x88);
            quad[q + 6] = _mm512_maskz_shuffle_f64x2(every_double, pair[q + 4], pair[q + 6], 0xdd);
        }
        /* quad[0] = a0 b0 a4 b4 c0 d0 c4 d4, quad[1] = a1 b1 a5 b5 c1 d1 ...,
         * quad[2] = a2 b2 a6 b6 c2 d2 ..., quad[4..7] the same of e .. h. */
        for (int q = 0; q < 4; ++q) {
            rows[q] = _mm512_maskz_shuffle_f64x2(every_double, quad[q], quad[q + 4], 0x88);
            rows[q + 4] = _mm512_maskz_shuffle_f64x2(every_double, quad[q], quad[q + 4], 0xdd);
        }
    }
};

template <>
struct Avx512<float> {
    typedef float T;
    typedef __m512 V;
    static const int width = 16;
    static V zero() { return _mm512_setzero_ps(); }
    static V splat(T value) { return _mm512_set1_ps(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm512_set1_ps(kernel.taps[j]); }
    static V load(const T* p) { return _mm512_load_ps(p); }
    static V loadu(const T* p) { return _mm512_loadu_ps(p); }
    static void store(T* p, V v) { _mm512_store_ps(p, v); }
    static void storeu(T* p, V v) { _mm512_storeu_ps(p, v); }
    static V add(V a, V b) { return _mm512_add_ps(a, b); }
    static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V div(V a, V b) { return _mm512_div_ps(a, b); }
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const __m512i bytes = _mm512_maskz_cvtepu8_epi32(
            every_float, _mm_loadu_si128((const __m128i*)keep));
        return _mm512_mask_blend_ps(_mm512_test_epi32_mask(bytes, bytes), otherwise, value);
    }
    static const bool shifted_windows = true;
    template <int r>
    static V window(V lo, V hi)
    {
        return _mm512_castsi512_ps(_mm512_maskz_alignr_epi32(
            every_float, _mm512_castps_si512(hi), _mm512_castps_si512(lo), r));
    }
    /* Sixteen rows: pairs interleaved by floats, then by pairs of floats,
     * then 128-bit lanes exchanged twice. */
    static void transpose(V rows[16])
    {
        V pair[16];
        for (int q = 0; q < 16; q += 2) {
            pair[q] = _mm512_maskz_unpacklo_ps(every_float, rows[q], rows[q + 1]);
            pair[q + 1] = _mm512_maskz_unpackhi_ps(every_float, rows[q], rows[q + 1]);
        }
        /* pair[0] = a0 b0 a1 b1 | a4 b4 a5 b5 | ..., pair[1] = a2 b2 a3 b3
         * | ..., pair[2] = c0 d0 c1 d1 | ..., and so on. */
        V quad[16];
        for (int q = 0; q < 16; q += 4)
            for (int half = 0; half < 2; ++half) {
                const __m512d low = _mm512_castps_pd(pair[q + half]);
                const __m512d high = _mm512_castps_pd(pair[q + half + 2]);
                quad[q + 2 * half] =
                    _mm512_castpd_ps(_mm512_maskz_unpacklo_pd(every_double, low, high));
                quad[q + 2 * half + 1] =
                    _mm512_castpd_ps(_mm512_maskz_unpackhi_pd(every_double, low, high));
            }
        /* quad[4k + j] holds columns j, j + 4, j + 8, j + 12 (one per
         * 128-bit lane) of rows 4k .. 4k + 3. */
        for (int j = 0; j < 4; ++j) {
            const V ab_low = _mm512_maskz_shuffle_f32x4(every_float, quad[j], quad[4 + j], 0x88);
            const V ab_high = _mm512_maskz_shuffle_f32x4(every_float, quad[j], quad[4 + j], 0xdd);
            const V cd_low = _mm512_maskz_shuffle_f32x4(every_float, quad[8 + j], quad[12 + j], 0x88);
            const V cd_high = _mm512_maskz_shuffle_f32x4(every_float, quad[8 + j], quad[12 + j], 0xdd);
            rows[j] = _mm512_maskz_shuffle_f32x4(every_float, ab_low, cd_low, 0x88);
            rows[j + 8] = _mm512_maskz_shuffle_f32x4(every_float, ab_low, cd_low, 0xdd);
            rows[j + 4] = _mm512_maskz_shuffle_f32x4(every_float, ab_high, cd_high, 0x88);
            rows[j + 12] = _mm512_maskz_shuffle_f32x4(every_float, ab_high, cd_high, 0xdd);
        }
    }
};

}  // namespace

#endif
