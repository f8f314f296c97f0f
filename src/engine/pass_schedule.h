/* How the vector passes run, apart from their arithmetic (x_pass.h,
 * layer_pass.h): the x and y passes plane by plane, then the z pass chunk
 * by chunk, each shared out among threads (threads.h), each part with a
 * work area of its own. No split changes a bit: every output is computed
 * as one thread alone would compute it.
 *
 * run_passes is gauss_filter's schedule, each part's work area on its
 * thread's stack (engine_limits.h); smooth_volume's (smooth_schedule.h)
 * allocates them for the call. Each of passes_sse2.cpp, passes_avx.cpp,
 * passes_avx512.cpp and passes_neon.cpp instantiates run_passes with its
 * vector type (vector_*.h), compiled for its instruction set. Everything
 * here has internal linkage, so those copies never merge into one. */
#ifndef VOXBLUR_PASS_SCHEDULE_H
#define VOXBLUR_PASS_SCHEDULE_H

#include <stddef.h>
#include <stdint.h>

#include "engine_limits.h"
#include "layer_pass.h"
#include "pass_sums.h"
#include "threads.h"
#include "x_pass.h"

namespace {

/* The input's rows as they lie in a volume of T: row r of the volume (of
 * plane r / ny) is nx samples from volume + r * nx. */
template <class T>
struct VolumeRows {
    const T* volume;
    ptrdiff_t nx;
    const T* rows(ptrdiff_t first, ptrdiff_t, T*) const { return volume + first * nx; }
};

/* filter_x's view of one plane's rows, from row `first` of the volume on,
 * through `staging` where the source converts them. */
template <class T, class Source>
struct PlaneRows {
    const Source& source;
    ptrdiff_t first;
    T* staging;
    const T* rows(ptrdiff_t y, ptrdiff_t count) const
    {
        return source.rows(first + y, count, staging);
    }
};

/* One part's work areas: the x pass's two blocks and its staging rows, and
 * later, over the same samples, the ring of the y and z passes; the table
 * of layers apart, and a masked mean's areas (smooth_schedule.h): the
 * weights of a run of z outputs and the mask's rows after its x pass. */
template <class T>
struct PartWork {
    T* lines;
    T* filtered;
    T* staging;
    T* ring;
    const T** layers;
    T* weights;
    T* mask_rows;
};

/* What the threads of one call share. Each part writes outputs no other
 * part of the same round reads or writes. */
template <class S, class Source>
struct PassesTask {
    typedef typename S::T T;
    Source source;
    T* output;
    ptrdiff_t nx, ny, nz;
    int32_t parts;
    AxisKernel<T> kx, ky, kz;
    ptrdiff_t chunk_y, chunk_z;
    /* Each part's work areas, where they are allocated for the call. */
    PartWork<T> (*work_of)(const PassesTask& task, int32_t part);
    char* work;
    size_t part_bytes;
    /* The rows of a band of a masked mean (smooth_schedule.h), 0 for
     * none. */
    ptrdiff_t band_rows;
};

/* Part `part` of `parts` of the range 0 .. count - 1, in multiples of
 * `unit` (except at the end). */
inline ptrdiff_t share_start(ptrdiff_t count, int32_t parts, int32_t part, ptrdiff_t unit)
{
    const ptrdiff_t units = (count + unit - 1) / unit;
    const ptrdiff_t start = units * part / parts * unit;
    return start < count ? start : count;
}

/* The x and y passes of a share of the planes, plane by plane: plane z
 * needs input plane z only, and the y pass finds the x pass's output still
 * in cache. Planes are independent of each other, like the z pass's
 * chunks afterwards (filter_chunks). */
template <class S, class Source>
void xy_share(const PassesTask<S, Source>& task, int32_t part, const PartWork<typename S::T>& work)
{
    typedef typename S::T T;
    const ptrdiff_t nxy = task.nx * task.ny;
    const ptrdiff_t z_end = share_start(task.nz, task.parts, part + 1, 1);
    for (ptrdiff_t z = share_start(task.nz, task.parts, part, 1); z < z_end; ++z) {
        T* plane = task.output + z * nxy;
        const PlaneRows<T, Source> rows = {task.source, z * task.ny, work.staging};
        filter_x<S>(rows, plane, task.nx, task.ny, task.kx, work.lines, work.filtered);
        filter_chunks<S>(plane, task.nx, task.nx, task.ny, task.ky, task.chunk_y, 0,
                         chunk_count<S>(plane, task.nx, task.chunk_y), work.ring, work.layers,
                         InPlace<S>{plane, task.nx});
    }
}

/* The z pass of a share of the chunks of rows y0 .. y1 - 1 of every
 * plane, its outputs stored by `into` (filter_chunks). */
template <class S, class Source, class Into>
void z_chunks(const PassesTask<S, Source>& task, int32_t part, const PartWork<typename S::T>& work,
              ptrdiff_t y0, ptrdiff_t y1, const Into& into)
{
    typename S::T* first = task.output + y0 * task.nx;
    const ptrdiff_t nxy = task.nx * task.ny;
    const ptrdiff_t extent = (y1 - y0) * task.nx;
    const ptrdiff_t chunks = chunk_count<S>(first, nxy, extent, task.chunk_z);
    filter_chunks<S>(first, nxy, extent, task.nz, task.kz, task.chunk_z,
                     share_start(chunks, task.parts, part, 1),
                     share_start(chunks, task.parts, part + 1, 1), work.ring, work.layers, into);
}

/* The z pass of a share of its chunks, in place. */
template <class S, class Source>
void z_share(const PassesTask<S, Source>& task, int32_t part, const PartWork<typename S::T>& work)
{
    z_chunks(task, part, work, 0, task.ny, InPlace<S>{task.output, task.nx * task.ny});
}

/* gauss_filter's parts: doubles, kernels of up to longest_kernel taps,
 * axes of up to longest_axis samples, and work_capacity doubles of work
 * area on the thread's stack. */
template <class S>
PartWork<double> stack_work(double* work, const double** layers)
{
    const PartWork<double> areas = {work, work + line_buffer_length * Lanes<S>::block, 0, work,
                                    layers, 0, 0};
    return areas;
}

/* One of the two rounds' shares (xy_share, z_share). */
template <class S, class Source>
using Share = void(const PassesTask<S, Source>& task, int32_t part,
                   const PartWork<typename S::T>& work);

template <class S, class Source, Share<S, Source>* share>
void part_on_stack(void* context, int32_t part)
{
    alignas(64) double work[work_capacity];
    const double* layers[kernel_buffer_length + sums];
    share(*static_cast<const PassesTask<S, Source>*>(context), part, stack_work<S>(work, layers));
}

/* Parts whose work areas the call allocated (smooth_schedule.h). */
template <class S, class Source, Share<S, Source>* share>
void part_in_work(void* context, int32_t part)
{
    const PassesTask<S, Source>& task = *static_cast<const PassesTask<S, Source>*>(context);
    share(task, part, task.work_of(task, part));
}

/* The x and y passes, then the z pass, which reads what every plane's x
 * and y passes wrote, so it starts once they have all finished. */
template <class S, class Source>
void run_rounds(PassesTask<S, Source>* task, int32_t threads, thread_part_fn* xy_part,
                thread_part_fn* z_part)
{
    task->parts = (int32_t)smaller(threads, task->nz);
    run_in_threads(task->parts, xy_part, task);
    const ptrdiff_t chunks = chunk_count<S>(task->output, task->nx * task->ny, task->chunk_z);
    task->parts = (int32_t)smaller(threads, chunks);
    run_in_threads(task->parts, z_part, task);
}

/* A kernel of up to longest_kernel taps, on the stack. */
struct FixedKernel {
    double taps[kernel_buffer_length];
    alignas(16) double tap_copies[2 * kernel_buffer_length];
    double lead[kernel_buffer_length / 2];
    double trail[kernel_buffer_length / 2];

    KernelAreas<double> areas()
    {
        const KernelAreas<double> areas = {taps, tap_copies, lead, trail, taps};
        return areas;
    }
};

template <class S>
void run_passes(const double* input, double* output, const int32_t* dimensions,
                const int32_t* taps, const double* widths, int32_t threads)
{
    typedef VolumeRows<double> Source;
    /* An empty axis leaves nothing to write. */
    if (dimensions[0] <= 0 || dimensions[1] <= 0 || dimensions[2] <= 0)
        return;

    PassesTask<S, Source> task;
    task.source.volume = input;
    task.source.nx = dimensions[0];
    task.output = output;
    task.nx = dimensions[0];
    task.ny = dimensions[1];
    task.nz = dimensions[2];
    FixedKernel kernels[3];
    prepare_kernel(&task.kx, taps[0], widths[0], kernels[0].areas());
    prepare_kernel(&task.ky, taps[1], widths[1], kernels[1].areas());
    prepare_kernel(&task.kz, taps[2], widths[2], kernels[2].areas());
    task.chunk_y = chunk_length<S>(task.ky.half, work_capacity);
    task.chunk_z = chunk_length<S>(task.kz.half, work_capacity);
    task.work_of = 0;
    task.work = 0;
    task.part_bytes = 0;
    task.band_rows = 0;
    run_rounds(&task, threads < 1 ? 1 : threads, part_on_stack<S, Source, xy_share<S, Source> >,
               part_on_stack<S, Source, z_share<S, Source> >);
}

}  // namespace

#endif
