/* The vector type of the SSE2 passes, for float and double: 128-bit
 * vectors, which every x86-64 processor has. Included by passes_sse2.cpp
 * and smooth/smooth_passes_sse2.cpp, with the passes' templates. */
#ifndef VOXBLUR_VECTOR_SSE2_H
#define VOXBLUR_VECTOR_SSE2_H

#include <emmintrin.h>

#include "pass_schedule.h"

namespace {

template <class T>
struct Sse2;

template <>
struct Sse2<double> {
    typedef double T;
    typedef __m128d V;
    static const int width = 2;
    static V zero() { return _mm_setzero_pd(); }
    static V splat(T value) { return _mm_set1_pd(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm_load_pd(kernel.tap_copies + 2 * j); }
    static V load(const T* p) { return _mm_load_pd(p); }
    static V loadu(const T* p) { return _mm_loadu_pd(p); }
    static void store(T* p, V v) { _mm_store_pd(p, v); }
    static void storeu(T* p, V v) { _mm_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V div(V a, V b) { return _mm_div_pd(a, b); }
    /* Lanes whose byte of keep is not 0 from value, the others from
     * otherwise (width bytes from keep, anywhere). */
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const uint32_t two = lane_bytes(keep, 2);
        const __m128i none = _mm_setzero_si128();
        const __m128i words = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(two), none), none);
        /* Each byte in both halves of its double's lane. */
        const V dropped = _mm_castsi128_pd(
            _mm_cmpeq_epi32(_mm_shuffle_epi32(words, _MM_SHUFFLE(1, 1, 0, 0)), none));
        return _mm_or_pd(_mm_and_pd(dropped, otherwise), _mm_andnot_pd(dropped, value));
    }
    /* shufpd would shift across two vectors in one instruction, but
     * seven of eight 16-byte loads at a double's alignment lie within one
     * cache line already: aligned windows would save next to nothing. */
    static const bool shifted_windows = false;
    static void transpose(V rows[2])
    {
        const V first = _mm_unpacklo_pd(rows[0], rows[1]);
        rows[1] = _mm_unpackhi_pd(rows[0], rows[1]);
        rows[0] = first;
    }
};

template <>
struct Sse2<float> {
    typedef float T;
    typedef __m128 V;
    static const int width = 4;
    static V zero() { return _mm_setzero_ps(); }
    static V splat(T value) { return _mm_set1_ps(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return _mm_load_ps(kernel.tap_copies + 4 * j); }
    static V load(const T* p) { return _mm_load_ps(p); }
    static V loadu(const T* p) { return _mm_loadu_ps(p); }
    static void store(T* p, V v) { _mm_store_ps(p, v); }
    static void storeu(T* p, V v) { _mm_storeu_ps(p, v); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V div(V a, V b) { return _mm_div_ps(a, b); }
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const uint32_t four = lane_bytes(keep, 4);
        const __m128i none = _mm_setzero_si128();
        const __m128i words = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), none), none);
        const V dropped = _mm_castsi128_ps(_mm_cmpeq_epi32(words, none));
        return _mm_or_ps(_mm_and_ps(dropped, otherwise), _mm_andnot_ps(dropped, value));
    }
    /* As for double: thirteen of sixteen 16-byte loads at a float's
     * alignment lie within one cache line. */
    static const bool shifted_windows = false;
    static void transpose(V rows[4]) { _MM_TRANSPOSE4_PS(rows[0], rows[1], rows[2], rows[3]); }
};

}  // namespace

#endif
