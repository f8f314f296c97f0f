/* The vector passes with 128-bit SSE2 vectors, which every x86-64
 * processor has. The 32-bit builds keep the plain passes. */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include <emmintrin.h>

#include "pass_schedule.h"

namespace {

struct Sse2 {
    typedef __m128d V;
    static const int width = 2;
    static V zero() { return _mm_setzero_pd(); }
    static V splat(double value) { return _mm_set1_pd(value); }
    static V tap(const AxisKernel& kernel, int32_t j) { return _mm_load_pd(kernel.tap_pairs + 2 * j); }
    static V load(const double* p) { return _mm_load_pd(p); }
    static V loadu(const double* p) { return _mm_loadu_pd(p); }
    static void store(double* p, V v) { _mm_store_pd(p, v); }
    static void storeu(double* p, V v) { _mm_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V div(V a, V b) { return _mm_div_pd(a, b); }
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

}  // namespace

extern "C" void volume_passes_sse2(const double* input, double* output, const int32_t* dimensions,
                                   const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Sse2>(input, output, dimensions, taps, widths, threads);
}

#endif
