/* The passes behind smooth_volume, for a float or a double result. Each
 * variant takes the input as the first pass reads it (voxel_read.h), a
 * volume with no empty axis, kernel lengths from smooth_kernel_length and
 * the most threads it may use, and returns smooth_done, or
 * smooth_out_of_memory when its work areas cannot be had (then it has
 * written nothing). Every variant writes the plain passes' bits. */
#ifndef VOXBLUR_SMOOTH_PASSES_H
#define VOXBLUR_SMOOTH_PASSES_H

#include <stdint.h>

#include "smooth_volume.h"
#include "voxblur_engine.h"
#include "volume_passes.h"

/* What the first pass reads. */
struct SmoothInput {
    const void* voxels;
    enum voxel_class input_class;
    const uint8_t* mask; /* null: every voxel as it is */
};

/* A masked mean (smooth_volumes): the output is the smoothed data, read
 * as 0 where input.mask is 0, over the smoothed mask at the same voxel,
 * and NaN where the mask is 0. `smoothed` is the mask smoothed already,
 * one volume of T (a mask that serves a whole series, smoothed once by
 * smooth_volume); null, the passes smooth it themselves. */
template <class T>
struct MaskedMean {
    const T* smoothed;
};

/* The shape of every variant, for either result type; `mean` null for
 * the data smoothed as it is read. */
template <class T>
struct SmoothPasses {
    typedef int fn(const SmoothInput& input, T* output, const int64_t* dimensions,
                   const int64_t* taps, const double* widths, int32_t threads,
                   const MaskedMean<T>* mean);
};

/* One line at a time through filter_1d's arithmetic in T, on the calling
 * thread: the oracle of the vector passes. */
VOXBLUR_INTERNAL SmoothPasses<double>::fn smooth_passes_plain;
VOXBLUR_INTERNAL SmoothPasses<float>::fn smooth_passes_plain;

/* The vector passes (smooth_schedule.h), on up to `threads` threads; call
 * only those that volume_passes.h says this processor runs. */
#if VOXBLUR_VECTORS_X86_64
VOXBLUR_INTERNAL SmoothPasses<double>::fn smooth_passes_sse2;
VOXBLUR_INTERNAL SmoothPasses<float>::fn smooth_passes_sse2;
VOXBLUR_INTERNAL SmoothPasses<double>::fn smooth_passes_avx;
VOXBLUR_INTERNAL SmoothPasses<float>::fn smooth_passes_avx;
VOXBLUR_INTERNAL SmoothPasses<double>::fn smooth_passes_avx512;
VOXBLUR_INTERNAL SmoothPasses<float>::fn smooth_passes_avx512;
#endif
#if VOXBLUR_VECTORS_NEON
VOXBLUR_INTERNAL SmoothPasses<double>::fn smooth_passes_neon;
VOXBLUR_INTERNAL SmoothPasses<float>::fn smooth_passes_neon;
#endif

/* smooth_volume (smooth_volume.h), which is this without `mean`; with
 * `mean` and a mask, their masked mean (MaskedMean), `smoothed` the mask
 * smoothed already (in the output's type) or null. */
VOXBLUR_INTERNAL int smooth_mean(const void* input, enum voxel_class input_class,
                                 const uint8_t* mask, void* output, int output_double,
                                 const int64_t* dimensions, const int64_t* taps,
                                 const double* widths, int32_t threads, bool mean,
                                 const void* smoothed);

/* A kernel of `count` taps shaped by `width`: compute_gauss's doubles,
 * each rounded to T once. false when count does not fit compute_gauss's
 * 32-bit count (no axis that fits in memory asks for one so long). */
template <class T>
bool kernel_taps(int64_t count, double width, double* gauss, T* taps)
{
    if (count > INT32_MAX)
        return false;
    compute_gauss((int32_t)count, gauss, width);
    for (int64_t i = 0; i < count; ++i)
        taps[i] = static_cast<T>(gauss[i]);
    return true;
}

#endif
