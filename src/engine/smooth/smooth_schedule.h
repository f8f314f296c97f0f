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

#include "huge_pages.h"

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
 * over the same bytes the ring; then a masked mean's weights and rows of
 * the mask. task's kernels need only count and half. */
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
    /* (A masked mean's bands stage the mask's rows.) */
    const bool staged = Source::staged || task.band_rows > 0;
    work.staging = staged ? carver.take<T>(times(smaller(block, task.ny), task.nx)) : 0;
    const size_t x_end = carver.used;
    carver.used = shared;
    work.ring = carver.take<T>(larger(ring_length<S>(task.ky.half, task.chunk_y),
                                      ring_length<S>(task.kz.half, task.chunk_z)));
    if (x_end > carver.used)
        carver.used = x_end;
    const bool mean = task.band_rows > 0;
    work.weights = carver.take<T>(mean ? times(Lanes<S>::run, task.chunk_z) : 0);
    work.mask_rows = carver.take<T>(
        mean ? times(smaller(task.ny, task.band_rows + 2 * task.ky.half), task.nx) : 0);
    *bytes = carver.used;
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
 * each run of outputs over the smoothed mask at the same voxels. The room
 * holds layer l of the mask, at the outputs' samples, from
 * room + l * room_stride: smoothed already, or after its x and y passes,
 * when the mask's z outputs for the same layers and samples are summed
 * into the part's weights just before the data's. The room is only read,
 * so its chunks need no ring. */
template <class S>
struct IntoMean {
    typedef typename S::T T;
    T* first;
    ptrdiff_t size;
    ptrdiff_t n;
    const uint8_t* mask;
    const T* room;
    ptrdiff_t room_stride;
    bool smoothed;
    const AxisKernel<T>* kernel;
    T* weights;
    ptrdiff_t chunk;

    MeanStore<S> store(ptrdiff_t i, ptrdiff_t outputs, ptrdiff_t c0, ptrdiff_t length,
                       const T** layers) const
    {
        const ptrdiff_t at = i * size + c0;
        if (smoothed)
            return MeanStore<S>{first + at, mask + at, size, room + i * room_stride + c0,
                                room_stride};
        const ptrdiff_t from = larger(0, i - kernel->half);
        const ptrdiff_t to = smaller(n - 1, i + outputs - 1 + kernel->half);
        for (ptrdiff_t l = from; l <= to; ++l)
            layers[l - from] = room + l * room_stride + c0;
        filter_layers<S>(layers, n, i, outputs, *kernel, length, OutputStore<S>{weights, chunk});
        return MeanStore<S>{first + at, mask + at, size, weights, chunk};
    }
};

/* A band of rows y0 .. y1 - 1 of every plane, in a masked mean's rounds:
 * the mask's x and y passes of the band into the room (plane z's rows at
 * room + z * room_stride), then the z pass of its chunks. */
template <class S, class Source>
struct MeanBand {
    PassesTask<S, Source>* passes;
    const uint8_t* mask;
    typename S::T* room;
    /* What the z pass reads: the room, or the mask smoothed already. */
    const typename S::T* weights;
    ptrdiff_t room_stride;
    bool smoothed;
    ptrdiff_t y0, y1;
};

/* Rows y0 .. y1 - 1 of plane z of the mask after its x and y passes, into
 * `out`: the x pass of the rows within half a y kernel of them, into
 * mask_rows, then the y outputs of the band, by the passes' own sums, so
 * the bits are those of the whole plane's passes. */
template <class S, class Source>
void mask_band_plane(const MeanBand<S, Source>& band, ptrdiff_t z,
                     const PartWork<typename S::T>& work, typename S::T* out)
{
    typedef typename S::T T;
    const PassesTask<S, Source>& task = *band.passes;
    const ptrdiff_t nx = task.nx, ny = task.ny;
    const AxisKernel<T>& ky = task.ky;
    const ptrdiff_t r0 = larger(0, band.y0 - ky.half);
    const ptrdiff_t r1 = smaller(ny, band.y1 + ky.half);
    const ConvertedRows<T> mask = {{band.mask, voxel_logical, nullptr}, nx};
    const PlaneRows<T, ConvertedRows<T> > rows = {mask, z * ny + r0, work.staging};
    filter_x<S>(rows, work.mask_rows, nx, r1 - r0, task.kx, work.lines, work.filtered);
    for (ptrdiff_t y = band.y0; y < band.y1;) {
        const ptrdiff_t outputs =
            y + Lanes<S>::run <= band.y1 ? layers_run<S>(ny, y, ky, nx) : 1;
        const ptrdiff_t from = larger(0, y - ky.half);
        const ptrdiff_t to = smaller(ny - 1, y + outputs - 1 + ky.half);
        for (ptrdiff_t r = from; r <= to; ++r)
            work.layers[r - from] = work.mask_rows + (r - r0) * nx;
        filter_layers<S>(work.layers, ny, y, outputs, ky, nx,
                         OutputStore<S>{out + (y - band.y0) * nx, nx});
        y += outputs;
    }
}

template <class S, class Source>
void mask_band_part(void* context, int32_t part)
{
    const MeanBand<S, Source>& band = *static_cast<const MeanBand<S, Source>*>(context);
    const PassesTask<S, Source>& task = *band.passes;
    const PartWork<typename S::T> work = task.work_of(task, part);
    const ptrdiff_t z_end = share_start(task.nz, task.parts, part + 1, 1);
    for (ptrdiff_t z = share_start(task.nz, task.parts, part, 1); z < z_end; ++z)
        mask_band_plane(band, z, work, band.room + z * band.room_stride);
}

template <class S, class Source>
void mean_z_part(void* context, int32_t part)
{
    const MeanBand<S, Source>& band = *static_cast<const MeanBand<S, Source>*>(context);
    const PassesTask<S, Source>& task = *band.passes;
    const PartWork<typename S::T> work = task.work_of(task, part);
    const ptrdiff_t start = band.y0 * task.nx;
    const IntoMean<S> into = {task.output + start, task.nx * task.ny, task.nz,
                              band.mask + start,   band.weights,       band.room_stride,
                              band.smoothed,       &task.kz,           work.weights,
                              task.chunk_z};
    z_chunks(task, part, work, band.y0, band.y1, into);
}

/* A masked mean's rounds: the data's x and y passes; then band by band of
 * rows, the mask's x and y passes of the band into the room and the z pass
 * of the data and the mask at once; or, where the mask comes smoothed,
 * the z pass of the whole volume over it. A band repeats the x pass of
 * the mask's rows within half a y kernel of it, so that the room holds a
 * band, not a volume: a fresh volume costs more to map than the rows
 * cost to filter again. */
template <class S, class Source>
void run_mean_rounds(PassesTask<S, Source>* task, int32_t threads, const uint8_t* mask,
                     typename S::T* room, const typename S::T* smoothed)
{
    task->parts = (int32_t)smaller(threads, task->nz);
    run_in_threads(task->parts, part_in_work<S, Source, xy_share<S, Source> >, task);
    const ptrdiff_t nxy = task->nx * task->ny;
    MeanBand<S, Source> band = {task,  mask, room, room, task->band_rows * task->nx,
                                false, 0,    0};
    if (smoothed) {
        band.weights = smoothed;
        band.room_stride = nxy;
        band.smoothed = true;
    }
    const ptrdiff_t rows = smoothed ? task->ny : task->band_rows;
    for (band.y0 = 0; band.y0 < task->ny; band.y0 += rows) {
        band.y1 = smaller(task->ny, band.y0 + rows);
        if (!smoothed) {
            task->parts = (int32_t)smaller(threads, task->nz);
            run_in_threads(task->parts, mask_band_part<S, Source>, &band);
        }
        const ptrdiff_t extent = (band.y1 - band.y0) * task->nx;
        task->parts = (int32_t)smaller(
            threads, chunk_count<S>(task->output + band.y0 * task->nx, nxy, extent,
                                    task->chunk_z));
        run_in_threads(task->parts, mean_z_part<S, Source>, &band);
    }
}

/* Rows of a masked mean's bands: enough that the rows filtered again, a y
 * kernel's worth a band, are a small share of them. */
inline ptrdiff_t mean_band_rows(ptrdiff_t ny, ptrdiff_t y_half)
{
    return smaller(ny, larger(16, times(8, y_half)));
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
    task.band_rows = mean ? mean_band_rows(task.ny, task.ky.half) : 0;
    /* The room of a band, on huge pages. */
    const bool banded = mean && !mean->smoothed;
    const size_t room_bytes =
        banded ? add_bytes(area_bytes(times(times(task.band_rows, task.nx), task.nz), sizeof(T)),
                           huge_page_bytes)
               : 0;

    KernelAreas<T> areas[3];
    const size_t kernel_bytes = kernel_areas<T>(nullptr, taps, areas);
    part_areas(task, nullptr, &task.part_bytes);
    size_t all_parts = 0;
    for (int32_t p = 0; p < parts; ++p)
        all_parts = add_bytes(all_parts, task.part_bytes);
    void* allocated;
    char* base = take_work(add_bytes(add_bytes(kernel_bytes, all_parts), room_bytes), &allocated);
    if (!base)
        return smooth_out_of_memory;

    kernel_areas<T>(base, taps, areas);
    for (int d = 0; d < 3; ++d)
        prepare_kernel(kernels[d], taps[d], widths[d], areas[d]);
    task.work = base + kernel_bytes;
    task.work_of = allocated_work<S, Source>;
    if (mean) {
        T* room = nullptr;
        if (banded) {
            char* after = task.work + all_parts;
            room = reinterpret_cast<T*>(after + huge_page_lead((uintptr_t)after));
            advise_huge_pages(room, room_bytes - huge_page_bytes);
        }
        run_mean_rounds(&task, threads, mask, room, mean->smoothed);
    } else
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
