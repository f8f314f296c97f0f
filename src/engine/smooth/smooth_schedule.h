/* smooth_volume's vector passes: the rounds of pass_schedule.h with
 * kernels of any width, axes of any length, the input read in its own
 * class, and every work area allocated for the call, sized from the volume
 * and the kernels. Included after one of the vector_*.h headers, whose
 * instruction set it is compiled for; VOXBLUR_SMOOTH_PASSES then defines
 * that variant's two entries (smooth_passes.h). */
#ifndef VOXBLUR_SMOOTH_SCHEDULE_H
#define VOXBLUR_SMOOTH_SCHEDULE_H

#include <stddef.h>
#include <stdint.h>

#include "pass_schedule.h"
#include "smooth_passes.h"
#include "smooth_work.h"
#include "voxel_read.h"

namespace {

/* The input's rows converted to T as the x pass reads them, a block's rows
 * at a time, into the part's staging rows. */
template <class T>
struct ConvertedRows {
    static const bool staged = true;
    SmoothInput input;
    ptrdiff_t nx;
    const T* rows(ptrdiff_t first, ptrdiff_t count, T* staging) const
    {
        read_voxels(input.voxels, input.input_class, input.mask, first * nx, count * nx, staging);
        return staging;
    }
};

/* The input as it lies, where it is of T and unmasked. */
template <class T>
struct InputRows : VolumeRows<T> {
    static const bool staged = false;
};

/* The ring of the y and z passes holds as many bytes as gauss_filter's
 * work area, 128 KiB, where the kernel leaves chunks of a block or more: a
 * chunk of every layer within reach stays in the second-level cache. */
const ptrdiff_t ring_bytes = work_capacity * (ptrdiff_t)sizeof(double);

/* The areas of one part, from `base` (null: only their size, in *bytes):
 * the table of layers, then the x pass's blocks and staging rows, and
 * over the same bytes the ring. task's kernels need only count and half. */
template <class S, class Source>
PartWork<typename S::T> part_areas(const PassesTask<S, Source>& task, char* base, size_t* bytes)
{
    typedef typename S::T T;
    const int block = Lanes<S>::block;
    Carver carver = {base, 0};
    PartWork<T> work;
    const ptrdiff_t longest = larger(task.kx.count, larger(task.ky.count, task.kz.count));
    work.layers = carver.take<const T*>(longest + Lanes<S>::run);
    const size_t shared = carver.used;
    const ptrdiff_t x_length = times(x_block_length<S>(task.nx, task.kx.half), block);
    work.lines = carver.take<T>(x_length);
    work.filtered = carver.take<T>(x_length);
    work.staging = Source::staged ? carver.take<T>(times(smaller(block, task.ny), task.nx)) : 0;
    const size_t x_end = carver.used;
    carver.used = shared;
    work.ring = carver.take<T>(larger(ring_length<S>(task.ky.half, task.chunk_y),
                                      ring_length<S>(task.kz.half, task.chunk_z)));
    *bytes = x_end > carver.used ? x_end : carver.used;
    return work;
}

template <class S, class Source>
PartWork<typename S::T> allocated_work(const PassesTask<S, Source>& task, int32_t part)
{
    size_t bytes;
    return part_areas(task, task.work + part * task.part_bytes, &bytes);
}

/* The three kernels' areas, from `base` (null: only their size). */
template <class T>
size_t kernel_areas(char* base, const int64_t* taps, KernelAreas<T>* areas)
{
    Carver carver = {base, 0};
    const int64_t longest = taps[0] > taps[1] ? (taps[0] > taps[2] ? taps[0] : taps[2])
                                              : (taps[1] > taps[2] ? taps[1] : taps[2]);
    double* gauss = carver.take<double>(longest);
    for (int d = 0; d < 3; ++d) {
        areas[d].taps = carver.take<T>(taps[d]);
        areas[d].tap_copies = carver.take<T>(times(taps[d], 16 / sizeof(T)));
        areas[d].lead = carver.take<T>(taps[d] / 2);
        areas[d].trail = carver.take<T>(taps[d] / 2);
        areas[d].gauss = gauss;
    }
    return carver.used;
}

template <class S, class Source>
int smooth_rounds(const Source& source, typename S::T* output, const int64_t* dimensions,
                  const int64_t* taps, const double* widths, int32_t threads)
{
    typedef typename S::T T;
    PassesTask<S, Source> task;
    task.source = source;
    task.output = output;
    task.nx = dimensions[0];
    task.ny = dimensions[1];
    task.nz = dimensions[2];
    AxisKernel<T>* kernels[3] = {&task.kx, &task.ky, &task.kz};
    for (int d = 0; d < 3; ++d) {
        if (taps[d] > INT32_MAX)
            return smooth_out_of_memory; /* beyond compute_gauss's count */
        kernels[d]->count = taps[d];
        kernels[d]->half = taps[d] / 2;
    }
    if (threads < 1)
        threads = 1;
    const ptrdiff_t ring = ring_bytes / (ptrdiff_t)sizeof(T);
    task.chunk_y = chunk_length<S>(task.ky.half, ring);
    task.chunk_z = chunk_length<S>(task.kz.half, ring);
    const ptrdiff_t z_chunks = chunk_count<S>(output, task.nx * task.ny, task.chunk_z);
    const int32_t parts = (int32_t)smaller(threads, larger(task.nz, z_chunks));

    KernelAreas<T> areas[3];
    const size_t kernel_bytes = kernel_areas<T>(nullptr, taps, areas);
    part_areas(task, nullptr, &task.part_bytes);
    size_t all_parts = 0;
    for (int32_t p = 0; p < parts; ++p)
        all_parts = add_bytes(all_parts, task.part_bytes);
    void* allocated;
    char* base = take_work(add_bytes(kernel_bytes, all_parts), &allocated);
    if (!base)
        return smooth_out_of_memory;

    kernel_areas<T>(base, taps, areas);
    for (int d = 0; d < 3; ++d)
        prepare_kernel(kernels[d], taps[d], widths[d], areas[d]);
    task.work = base + kernel_bytes;
    task.work_of = allocated_work<S, Source>;
    run_rounds(&task, threads, part_in_work<S, Source, xy_share<S, Source> >,
               part_in_work<S, Source, z_share<S, Source> >);
    give_back_work(allocated);
    return smooth_done;
}

/* The input as it lies where the first pass may read it so, else
 * converted as it reads it. */
template <class S>
int smooth_passes(const SmoothInput& input, typename S::T* output, const int64_t* dimensions,
                  const int64_t* taps, const double* widths, int32_t threads)
{
    typedef typename S::T T;
    const enum voxel_class own_class = sizeof(T) == sizeof(double) ? voxel_double : voxel_single;
    if (input.input_class == own_class && !input.mask) {
        InputRows<T> rows;
        rows.volume = static_cast<const T*>(input.voxels);
        rows.nx = dimensions[0];
        return smooth_rounds<S>(rows, output, dimensions, taps, widths, threads);
    }
    const ConvertedRows<T> rows = {input, dimensions[0]};
    return smooth_rounds<S>(rows, output, dimensions, taps, widths, threads);
}

}  // namespace

/* Defines `name` for double and for float results, over Vector<double>
 * and Vector<float>. */
#define VOXBLUR_SMOOTH_PASSES(name, Vector)                                                     \
    int name(const SmoothInput& input, double* output, const int64_t* dimensions,              \
             const int64_t* taps, const double* widths, int32_t threads)                       \
    {                                                                                           \
        return smooth_passes<Vector<double> >(input, output, dimensions, taps, widths, threads); \
    }                                                                                           \
    int name(const SmoothInput& input, float* output, const int64_t* dimensions,               \
             const int64_t* taps, const double* widths, int32_t threads)                       \
    {                                                                                           \
        return smooth_passes<Vector<float> >(input, output, dimensions, taps, widths, threads);  \
    }

#endif
