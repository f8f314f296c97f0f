/* The vector passes with 512-bit AVX-512F vectors, one vector per row of a
 * block, compiled for AVX-512F in this file only and run only on a
 * processor and system that support it (see passes_select.cpp). AVX-512F
 * does bring fused multiply-adds; exact_arithmetic.h keeps the compiler
 * from forming them, and a test reads this file's object code for any. */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include <immintrin.h>
/* clang-cl's immintrin.h, unlike Microsoft's, declares the AVX-512
 * intrinsics only for a build that targets it throughout (/arch:AVX512); the
 * pragma below is enough for them. */
#if defined(_MSC_VER) && defined(__clang__)
#include <smmintrin.h>
#include <avxintrin.h>
#include <avx512fintrin.h>
#endif

#include "voxblur_engine.h"

/* Everything below, the shared templates included, is compiled for
 * AVX-512F. Microsoft's compiler takes any intrinsic in any function and
 * needs no such option. */
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "pass_schedule.h"

namespace {

struct Avx512 {
    typedef __m512d V;
    static const int width = 8;
    static V zero() { return _mm512_setzero_pd(); }
    static V splat(double value) { return _mm512_set1_pd(value); }
    static V tap(const AxisKernel& kernel, int32_t j) { return _mm512_set1_pd(kernel.taps[j]); }
    static V load(const double* p) { return _mm512_load_pd(p); }
    static V loadu(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, V v) { _mm512_store_pd(p, v); }
    static void storeu(double* p, V v) { _mm512_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V div(V a, V b) { return _mm512_div_pd(a, b); }
    /* A vector is a cache line: x windows come from aligned loads. */
    static const bool shifted_windows = true;
    /* Lanes r .. 7 of lo, then lanes 0 .. r - 1 of hi: the vector that
     * begins r samples into lo, when hi follows lo in memory. The
     * zero-masking form with every lane kept, as in transpose. */
    template <int r>
    static V window(V lo, V hi)
    {
        return _mm512_castsi512_pd(_mm512_maskz_alignr_epi64(0xff, _mm512_castpd_si512(hi),
                                                             _mm512_castpd_si512(lo), r));
    }
    /* Pairs of rows interleaved, then 128-bit and 256-bit lanes exchanged:
     * three rounds of eight shuffles. The shuffles are the zero-masking
     * forms with every lane kept, the same instructions: GCC's plain forms
     * start from a deliberately undefined vector, which its own
     * uninitialised-use warning then reports. */
    static void transpose(V rows[8])
    {
        V pair[8];
        for (int q = 0; q < 8; q += 2) {
            pair[q] = _mm512_maskz_unpacklo_pd(0xff, rows[q], rows[q + 1]);
            pair[q + 1] = _mm512_maskz_unpackhi_pd(0xff, rows[q], rows[q + 1]);
        }
        /* pair[0] = a0 b0 a2 b2 a4 b4 a6 b6, pair[1] = a1 b1 a3 b3 ...,
         * pair[2] = c0 d0 c2 d2 ..., and so on. */
        V quad[8];
        for (int q = 0; q < 2; ++q) {
            quad[q] = _mm512_maskz_shuffle_f64x2(0xff, pair[q], pair[q + 2], 0x88);
            quad[q + 2] = _mm512_maskz_shuffle_f64x2(0xff, pair[q], pair[q + 2], 0xdd);
            quad[q + 4] = _mm512_maskz_shuffle_f64x2(0xff, pair[q + 4], pair[q + 6], 0x88);
            quad[q + 6] = _mm512_maskz_shuffle_f64x2(0xff, pair[q + 4], pair[q + 6], 0xdd);
        }
        /* quad[0] = a0 b0 a4 b4 c0 d0 c4 d4, quad[1] = a1 b1 a5 b5 c1 d1 ...,
         * quad[2] = a2 b2 a6 b6 c2 d2 ..., quad[4..7] the same of e .. h. */
        for (int q = 0; q < 4; ++q) {
            rows[q] = _mm512_maskz_shuffle_f64x2(0xff, quad[q], quad[q + 4], 0x88);
            rows[q + 4] = _mm512_maskz_shuffle_f64x2(0xff, quad[q], quad[q + 4], 0xdd);
        }
    }
};

}  // namespace

extern "C" void volume_passes_avx512(const double* input, double* output,
                                     const int32_t* dimensions, const int32_t* taps,
                                     const double* widths, int32_t threads)
{
    run_passes<Avx512>(input, output, dimensions, taps, widths, threads);
}

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif
