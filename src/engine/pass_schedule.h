/* How the vector passes run, apart from their arithmetic (x_pass.h,
 * layer_pass.h): the x and y passes plane by plane, then the z pass chunk
 * by chunk, each shared out among threads (threads.h), each part with a
 * work area of its own on its thread's stack. No split changes a bit:
 * every output is computed as one thread alone would compute it.
 *
 * Each of passes_sse2.cpp, passes_avx.cpp, passes_avx512.cpp and
 * passes_neon.cpp includes this file, compiled for its instruction set,
 * defines its vector type S and instantiates run_passes<S>. Everything
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


/* The x and y passes of planes z_begin .. z_end - 1, plane by plane: plane
 * z needs input plane z only, and the y pass finds the x pass's output
 * still in cache. Planes are independent of each other, like the z pass's
 * chunks afterwards (filter_chunks): any split of either among callers,
 * each with its own work area, writes the same bits. */
template <class S>
void filter_planes_xy(const double* input, double* output, int32_t nx, int32_t ny,
                      const AxisKernel& kx, const AxisKernel& ky, int32_t z_begin, int32_t z_end,
                      double* work)
{
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    for (int32_t z = z_begin; z < z_end; ++z) {
        filter_x<S>(input + z * nxy, output + z * nxy, nx, ny, kx, work);
        filter_chunks<S>(output + z * nxy, nx, ny, ky, 0, chunk_count<S>(output + z * nxy, nx, ky),
                         work);
    }
}

/* What the threads of one call share. Each part writes outputs no other
 * part of the same round reads or writes, and every output is computed as
 * one thread alone would compute it: the result does not depend on how
 * the work is split. */
struct PassesTask {
    const double* input;
    double* output;
    int32_t nx, ny, nz;
    int32_t parts;
    AxisKernel kx, ky, kz;
};

/* Part `part` of `parts` of the range 0 .. count - 1, in multiples of
 * `unit` (except at the end). */
inline ptrdiff_t share_start(ptrdiff_t count, int32_t parts, int32_t part, ptrdiff_t unit)
{
    const ptrdiff_t units = (count + unit - 1) / unit;
    const ptrdiff_t start = units * part / parts * unit;
    return start < count ? start : count;
}

/* The x and y passes of a share of the planes. */
template <class S>
void xy_part(void* context, int32_t part)
{
    const PassesTask& task = *static_cast<const PassesTask*>(context);
    alignas(64) double work[work_capacity];
    filter_planes_xy<S>(task.input, task.output, task.nx, task.ny, task.kx, task.ky,
                        (int32_t)share_start(task.nz, task.parts, part, 1),
                        (int32_t)share_start(task.nz, task.parts, part + 1, 1), work);
}

/* The z pass of a share of its chunks (filter_chunks). */
template <class S>
void z_part(void* context, int32_t part)
{
    const PassesTask& task = *static_cast<const PassesTask*>(context);
    alignas(64) double work[work_capacity];
    const ptrdiff_t nxy = (ptrdiff_t)task.nx * task.ny;
    const ptrdiff_t chunks = chunk_count<S>(task.output, nxy, task.kz);
    filter_chunks<S>(task.output, nxy, task.nz, task.kz, share_start(chunks, task.parts, part, 1),
                     share_start(chunks, task.parts, part + 1, 1), work);
}

template <class S>
void run_passes(const double* input, double* output, const int32_t* dimensions,
                const int32_t* taps, const double* widths, int32_t threads)
{
    const int32_t nx = dimensions[0];
    const int32_t ny = dimensions[1];
    const int32_t nz = dimensions[2];
    /* An empty axis leaves nothing to write. */
    if (nx <= 0 || ny <= 0 || nz <= 0)
        return;

    PassesTask task;
    task.input = input;
    task.output = output;
    task.nx = nx;
    task.ny = ny;
    task.nz = nz;
    prepare_kernel(&task.kx, taps[0], widths[0]);
    prepare_kernel(&task.ky, taps[1], widths[1]);
    prepare_kernel(&task.kz, taps[2], widths[2]);
    if (threads < 1)
        threads = 1;

    /* The z pass reads what every plane's x and y passes wrote, so it
     * starts once they have all finished. */
    task.parts = smaller(threads, nz);
    run_in_threads(task.parts, xy_part<S>, &task);
    const ptrdiff_t chunks = chunk_count<S>(output, (ptrdiff_t)nx * ny, task.kz);
    task.parts = chunks < threads ? (int32_t)chunks : threads;
    run_in_threads(task.parts, z_part<S>, &task);
}

}  // namespace

#endif
