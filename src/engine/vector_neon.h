/* The vector type of the NEON passes, for float and double: 128-bit
 * vectors, which every 64-bit ARM processor has, so every aarch64 build
 * runs them (see passes_select.cpp). The intrinsics name a multiplication
 * and an addition each, but a compiler may still fuse the two into one
 * fmla, as it would the same operations written with * and +:
 * exact_arithmetic.h keeps it from doing so, and a test reads the object
 * code for any. Clang under -ffp-contract=fast fuses them all the same
 * (see that header). */
#ifndef VOXBLUR_VECTOR_NEON_H
#define VOXBLUR_VECTOR_NEON_H

#include <arm_neon.h>

#include "pass_schedule.h"

namespace {

template <class T>
struct Neon;

/* NEON's loads and stores take any address: load and loadu are one. */
template <>
struct Neon<double> {
    typedef double T;
    typedef float64x2_t V;
    static const int width = 2;
    static V zero() { return vdupq_n_f64(0.0); }
    static V splat(T value) { return vdupq_n_f64(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return vld1q_dup_f64(kernel.taps + j); }
    static V load(const T* p) { return vld1q_f64(p); }
    static V loadu(const T* p) { return vld1q_f64(p); }
    static void store(T* p, V v) { vst1q_f64(p, v); }
    static void storeu(T* p, V v) { vst1q_f64(p, v); }
    static V add(V a, V b) { return vaddq_f64(a, b); }
    static V mul(V a, V b) { return vmulq_f64(a, b); }
    static V div(V a, V b) { return vdivq_f64(a, b); }
    /* Lanes whose byte of keep is not 0 from value, the others from
     * otherwise (width bytes from keep, anywhere). */
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const uint64x2_t bytes = vcombine_u64(vcreate_u64(keep[0]), vcreate_u64(keep[1]));
        return vbslq_f64(vtstq_u64(bytes, bytes), value, otherwise);
    }
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

template <>
struct Neon<float> {
    typedef float T;
    typedef float32x4_t V;
    static const int width = 4;
    static V zero() { return vdupq_n_f32(0.0f); }
    static V splat(T value) { return vdupq_n_f32(value); }
    static V tap(const AxisKernel<T>& kernel, ptrdiff_t j) { return vld1q_dup_f32(kernel.taps + j); }
    static V load(const T* p) { return vld1q_f32(p); }
    static V loadu(const T* p) { return vld1q_f32(p); }
    static void store(T* p, V v) { vst1q_f32(p, v); }
    static void storeu(T* p, V v) { vst1q_f32(p, v); }
    static V add(V a, V b) { return vaddq_f32(a, b); }
    static V mul(V a, V b) { return vmulq_f32(a, b); }
    static V div(V a, V b) { return vdivq_f32(a, b); }
    static V select(const uint8_t* keep, V value, V otherwise)
    {
        const uint32_t four = lane_bytes(keep, 4);
        const uint32x4_t bytes = vmovl_u16(vget_low_u16(vmovl_u8(vcreate_u8(four))));
        return vbslq_f32(vtstq_u32(bytes, bytes), value, otherwise);
    }
    static const bool shifted_windows = false;
    /* Pairs of rows transposed by floats, then by pairs of floats. */
    static void transpose(V rows[4])
    {
        const V ab_even = vtrn1q_f32(rows[0], rows[1]);
        const V ab_odd = vtrn2q_f32(rows[0], rows[1]);
        const V cd_even = vtrn1q_f32(rows[2], rows[3]);
        const V cd_odd = vtrn2q_f32(rows[2], rows[3]);
        rows[0] = vreinterpretq_f32_f64(
            vtrn1q_f64(vreinterpretq_f64_f32(ab_even), vreinterpretq_f64_f32(cd_even)));
        rows[1] = vreinterpretq_f32_f64(
            vtrn1q_f64(vreinterpretq_f64_f32(ab_odd), vreinterpretq_f64_f32(cd_odd)));
        rows[2] = vreinterpretq_f32_f64(
            vtrn2q_f64(vreinterpretq_f64_f32(ab_even), vreinterpretq_f64_f32(cd_even)));
        rows[3] = vreinterpretq_f32_f64(
            vtrn2q_f64(vreinterpretq_f64_f32(ab_odd), vreinterpretq_f64_f32(cd_odd)));
    }
};

}  // namespace

#endif
