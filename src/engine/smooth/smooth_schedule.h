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

#include <limits>

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
 * over the same bytes the ring and the weights of a masked mean. task's
 * kernels need only count and half. */
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
    work.weights = carver.take<T>(task.weights_length);
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

/* A masked mean's z outputs (MaskedMean): each vector of sums over the
 * smoothed mask's at the same voxels, and NaN where the mask is 0, as it
 * is stored. The mask's bytes lie at the outputs' offsets; output o's
 * weights from weights + o * weight_stride. */
template <class S>
struct MeanStore {
    typedef typename S::T T;
    T* out;
    const uint8_t* mask;
    ptrdiff_t stride;
    const T* weights;
    ptrdiff_t weight_stride;
    MeanStore at(ptrdiff_t c) const
    {
        return MeanStore{out + c, mask + c, stride, weights + c, weight_stride};
    }
    void operator()(int o, ptrdiff_t at, typename S::V sum) const
    {
        const typename S::V mean = S::div(sum, S::loadu(weights + o * weight_stride + at));
        const typename S::V nan = S::splat(std::numeric_limits<T>::quiet_NaN());
        S::storeu(out + o * stride + at, S::select(mask + o * stride + at, mean, nan));
    }
    void one(ptrdiff_t at, T sum) const
    {
        out[at] = mask[at] ? sum / weights[at] : std::numeric_limits<T>::quiet_NaN();
    }
};

/* filter_chunks' stores for a masked mean's z pass, in place of InPlace:
 * each run of outputs over the smoothed mask at the same voxels. Those are
 * in the room where the mask is smoothed already; else they are the
 * mask's z outputs for the same layers and samples, summed from the room
 * (its x and y passes) into the part's weights just before the data's.
 * The room is only read, so its chunks need no ring, and the layers the
 * next run reads again are still in cache. */
template <class S>
struct IntoMean {
    typedef typename S::T T;
    T* first;
    ptrdiff_t size;
    ptrdiff_t n;
    const uint8_t* mask;
    MaskedMean<T> mean;
    const AxisKernel<T>* kernel;
    T* weights;
    ptrdiff_t chunk;

    MeanStore<S> store(ptrdiff_t i, ptrdiff_t outputs, ptrdiff_t c0, ptrdiff_t length,
                       const T** layers) const
    {
        const ptrdiff_t at = i * size + c0;
        if (mean.smoothed)
            return MeanStore<S>{first + at, mask + at, size, mean.room + at, size};
        const ptrdiff_t from = larger(0, i - kernel->half);
        const ptrdiff_t to = smaller(n - 1, i + outputs - 1 + kernel->half);
        for (ptrdiff_t l = from; l <= to; ++l)
            layers[l - from] = mean.room + l * size + c0;
        filter_layers<S>(layers, n, i, outputs, *kernel, length, OutputStore<S>{weights, chunk});
        return MeanStore<S>{first + at, mask + at, size, weights, chunk};
    }
};

/* What the z round of a masked mean shares besides the passes' task. */
template <class S, class Source>
struct MeanTask {
    const PassesTask<S, Source>* passes;
    const uint8_t* mask;
    MaskedMean<typename S::T> mean;
};

template <class S, class Source>
void mean_z_part(void* context, int32_t part)
{
    const MeanTask<S, Source>& m = *static_cast<const MeanTask<S, Source>*>(context);
    const PassesTask<S, Source>& task = *m.passes;
    const PartWork<typename S::T> work = task.work_of(task, part);
    const IntoMean<S> into = {task.output, task.nx * task.ny, task.nz, m.mask, m.mean,
                              &task.kz, work.weights, task.chunk_z};
    z_chunks(task, part, work, into);
}

/* A masked mean's rounds: the mask's x and y passes into the room, unless
 * it holds the smoothed mask already; the data's; then the z pass of both
 * at once. The mask's rounds use the data's kernels and work areas. */
template <class S, class Source>
void run_mean_rounds(PassesTask<S, Source>* task, int32_t threads, const uint8_t* mask,
                     const MaskedMean<typename S::T>& mean)
{
    typedef typename S::T T;
    typedef ConvertedRows<T> MaskRows;
    const int32_t planes_parts = (int32_t)smaller(threads, task->nz);
    if (!mean.smoothed) {
        PassesTask<S, MaskRows> mask_task;
        mask_task.source = MaskRows{{mask, voxel_logical, nullptr}, task->nx};
        mask_task.output = mean.room;
        mask_task.nx = task->nx;
        mask_task.ny = task->ny;
        mask_task.nz = task->nz;
        mask_task.parts = planes_parts;
        mask_task.kx = task->kx;
        mask_task.ky = task->ky;
        mask_task.kz = task->kz;
        mask_task.chunk_y = task->chunk_y;
        mask_task.chunk_z = task->chunk_z;
        mask_task.work_of = allocated_work<S, MaskRows>;
        mask_task.work = task->work;
        mask_task.part_bytes = task->part_bytes;
        mask_task.weights_length = task->weights_length;
        run_in_threads(planes_parts, part_in_work<S, MaskRows, xy_share<S, MaskRows> >,
                       &mask_task);
    }
    task->parts = planes_parts;
    run_in_threads(task->parts, part_in_work<S, Source, xy_share<S, Source> >, task);
    const ptrdiff_t chunks = chunk_count<S>(task->output, task->nx * task->ny, task->chunk_z);
    task->parts = (int32_t)smaller(threads, chunks);
    MeanTask<S, Source> mean_task = {task, mask, mean};
    run_in_threads(task->parts, mean_z_part<S, Source>, &mean_task);
}

template <class S, class Source>
int smooth_rounds(const Source& source, typename S::T* output, const int64_t* dimensions,
                  const int64_t* taps, const double* widths, int32_t threads,
                  const uint8_t* mask, const MaskedMean<typename S::T>* mean)
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
    task.weights_length = mean ? times(Lanes<S>::run, task.chunk_z) : 0;

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
    if (mean)
        run_mean_rounds(&task, threads, mask, *mean);
    else
        run_rounds(&task, threads, part_in_work<S, Source, xy_share<S, Source> >,
                   part_in_work<S, Source, z_share<S, Source> >);
    give_back_work(allocated);
    return smooth_done;
}

/* The input as it lies where the first pass may read it so, else
 * converted as it reads it. */
template <class S>
int smooth_passes(const SmoothInput& input, typename S::T* output, const int64_t* dimensions,
                  const int64_t* taps, const double* widths, int32_t threads,
                  const MaskedMean<typename S::T>* mean)
{
    typedef typename S::T T;
    const enum voxel_class own_class = sizeof(T) == sizeof(double) ? voxel_double : voxel_single;
    if (input.input_class == own_class && !input.mask) {
        InputRows<T> rows;
        rows.volume = static_cast<const T*>(input.voxels);
        rows.nx = dimensions[0];
        return smooth_rounds<S>(rows, output, dimensions, taps, widths, threads, nullptr,
                                nullptr);
    }
    const ConvertedRows<T> rows = {input, dimensions[0]};
    return smooth_rounds<S>(rows, output, dimensions, taps, widths, threads, input.mask,
                            input.mask ? mean : nullptr);
}

}  // namespace

/* Defines `name` for double and for float results, over Vector<double>
 * and Vector<float>. */
#define VOXBLUR_SMOOTH_PASSES(name, Vector)                                                \
    int name(const SmoothInput& input, double* output, const int64_t* dimensions,         \
             const int64_t* taps, const double* widths, int32_t threads,                  \
             const MaskedMean<double>* mean)                                              \
    {                                                                                      \
        return smooth_passes<Vector<double> >(input, output, dimensions, taps, widths,    \
                                              threads, mean);                             \
    }                                                                                      \
    int name(const SmoothInput& input, float* output, const int64_t* dimensions,          \
             const int64_t* taps, const double* widths, int32_t threads,                  \
             const MaskedMean<float>* mean)                                               \
    {                                                                                      \
        return smooth_passes<Vector<float> >(input, output, dimensions, taps, widths,     \
                                             threads, mean);                              \
    }

#endif
