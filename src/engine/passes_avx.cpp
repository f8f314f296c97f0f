/* The vector passes with 256-bit AVX vectors, compiled for AVX in this file
 * only and run only on a processor that has it (see passes_select.cpp).
 * AVX alone brings no fused multiply-add; exact_arithmetic.h keeps one out
 * even where a build targets a processor that has it. */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include <immintrin.h>
/* clang-cl's immintrin.h, unlike Microsoft's, declares the AVX
 * intrinsics only for a build that targets it throughout (/arch:AVX); the
 * pragma below is enough for them. */
#if defined(_MSC_VER) && defined(__clang__)
#include <avxintrin.h>
#endif

#include "voxblur_engine.h"

/* Everything below, the shared templates included, is compiled for AVX.
 * Microsoft's compiler takes any intrinsic in any function and needs no
 * such option. */
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx")
#endif

#include "pass_schedule.h"

namespace {

struct Avx {
    typedef __m256d V;
    static const int width = 4;
    static V zero() { return _mm256_setzero_pd(); }
    static V splat(double value) { return _mm256_set1_pd(value); }
    static V tap(const AxisKernel& kernel, int32_t j) { return _mm256_broadcast_sd(kernel.taps + j); }
    static V load(const double* p) { return _mm256_load_pd(p); }
    static V loadu(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, V v) { _mm256_store_pd(p, v); }
    static void storeu(double* p, V v) { _mm256_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V div(V a, V b) { return _mm256_div_pd(a, b); }
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

}  // namespace

extern "C" void volume_passes_avx(const double* input, double* output, const int32_t* dimensions,
                                  const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Avx>(input, output, dimensions, taps, widths, threads);
}

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif
