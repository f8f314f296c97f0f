/* Smoothing beyond gauss_filter's fixed limits, for voxsmooth: a float or
 * double result, an input of any numeric class or logical (converted as
 * the first pass reads it), axes of any length, kernels of any width, a
 * series of volumes, and an optional mask. The same kernels, the same
 * length rule without the 99-tap cap, the same order of sums as
 * gauss_filter: for double data within its limits, the same bits.
 *
 * Work areas are allocated for the call and freed before it returns; a
 * failed allocation is returned as smooth_out_of_memory, never a crash.
 * Like the rest of the engine this knows nothing of MATLAB or Octave
 * arrays, and makes no host call. */
#ifndef VOXBLUR_SMOOTH_VOLUME_H
#define VOXBLUR_SMOOTH_VOLUME_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the first pass reads: one sample of this type per voxel. */
enum voxel_class {
    voxel_double,
    voxel_single,
    voxel_int8,
    voxel_uint8,
    voxel_int16,
    voxel_uint16,
    voxel_int32,
    voxel_uint32,
    voxel_int64,
    voxel_uint64,
    voxel_logical /* one byte each: 0 false, anything else true (1.0) */
};

enum smooth_status { smooth_done = 0, smooth_out_of_memory = 1 };

/* The kernel length along an axis of axis_length voxels for a FWHM of
 * `width` voxels: factor * width + 0.5 truncated toward zero, 2 or less
 * made 3, an even length made odd, then cut to the axis (to one less when
 * that is even). 1 for an axis of 1 or 2 voxels, -1 for an empty axis.
 * gauss_filter's rule without its cap; where factor * width + 0.5 is 2^31
 * or more (or infinite) the kernel is cut to the axis, where gauss_filter's
 * 32-bit conversion makes it 3 taps. */
int64_t smooth_kernel_length(int64_t axis_length, double width, int32_t factor);

/* One nx * ny * nz volume (dimensions[0..2], x fastest) of `input_class`
 * into `output`, of doubles where output_double is nonzero, else of
 * floats; they must not overlap. taps[0..2] come from
 * smooth_kernel_length (odd, at most the axis: nothing else is checked),
 * widths[0..2] are the FWHM in voxels. A volume with an empty axis writes
 * nothing (its pointers may be null). Where `mask`
 * is not null, a voxel whose mask byte is 0 is read as 0. At most
 * `threads` threads (1: the calling thread only). Float results are
 * float sums of the double kernel rounded to float once. */
int smooth_volume(const void* input, enum voxel_class input_class, const uint8_t* mask,
                  void* output, int output_double, const int64_t* dimensions,
                  const int64_t* taps, const double* widths, int32_t threads);

/* A series of `volumes` volumes, one after the other in `input` and in
 * `output` (doubles for voxel_double, floats for every other class), each
 * smoothed on its own, with kernels of smooth_kernel_length. With a mask
 * (one volume's bytes, or every volume's when mask_every_volume), each
 * output is the mean of the voxels where the mask is true, weighted by the
 * kernel: the smoothed data read as 0 outside the mask, over the smoothed
 * mask. A voxel outside the mask is NaN, and so is one with no voxel of
 * the mask in reach; NaN and Inf inside the mask spread as without one.
 * Small volumes are shared out among the threads by volume, a large one
 * by its passes. */
struct smooth_request {
    const void* input;
    enum voxel_class input_class;
    void* output;
    int64_t dimensions[3];
    int64_t volumes;
    double widths[3];
    int32_t factor;
    const uint8_t* mask;
    int mask_every_volume;
    int32_t threads;
};

int smooth_volumes(const struct smooth_request* request);

#ifdef __cplusplus
}
#endif

#endif
