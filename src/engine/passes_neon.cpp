/* The vector passes with 128-bit NEON vectors of two doubles, which every
 * 64-bit ARM processor has, so every aarch64 build runs them (see
 * passes_select.cpp). The intrinsics name a multiplication and an addition
 * each, but a compiler may still fuse the two into one fmla, as it would
 * the same operations written with * and +: exact_arithmetic.h keeps it
 * from doing so, and a test reads this file's object code for any. Clang
 * under -ffp-contract=fast fuses them all the same (see that header). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_NEON

#include <arm_neon.h>

#include "pass_schedule.h"

namespace {

struct Neon {
    typedef float64x2_t V;
    static const int width = 2;
    static V zero() { return vdupq_n_f64(0.0); }
    static V splat(double value) { return vdupq_n_f64(value); }
    static V tap(const AxisKernel& kernel, int32_t j) { return vld1q_dup_f64(kernel.taps + j); }
    /* NEON's loads and stores take any address. */
    static V load(const double* p) { return vld1q_f64(p); }
    static V loadu(const double* p) { return vld1q_f64(p); }
    static void store(double* p, V v) { vst1q_f64(p, v); }
    static void storeu(double* p, V v) { vst1q_f64(p, v); }
    static V add(V a, V b) { return vaddq_f64(a, b); }
    static V mul(V a, V b) { return vmulq_f64(a, b); }
    static V div(V a, V b) { return vdivq_f64(a, b); }
    /* As for SSE2: ext would shift across two vectors in one
     * instruction, but seven of eight 16-byte loads at a double's
     * alignment lie within one cache line already. */
    static const bool shifted_windows = false;
    static void transpose(V rows[2])
    {
        const V first = vzip1q_f64(rows[0], rows[1]);
        rows[1] = vzip2q_f64(rows[0], rows[1]);
        rows[0] = first;
    }
};

}  // namespace

extern "C" void volume_passes_neon(const double* input, double* output, const int32_t* dimensions,
                                   const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Neon>(input, output, dimensions, taps, widths, threads);
}

#endif
