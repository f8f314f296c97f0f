/* The body of the vector passes, shared by passes_sse2.cpp,
 * passes_avx.cpp and passes_avx512.cpp. Each defines a vector type S and
 * includes this file:
 *
 *   S::V                   the vector of S::width doubles (2, 4 or 8)
 *   zero, splat            all lanes 0.0, all lanes one value
 *   tap(kernel, j)         all lanes kernel tap j
 *   load, store            aligned; loadu, storeu unaligned
 *   add, mul, div          lane by lane, rounded to double
 *   transpose(V[width])    rows to columns
 *
 * Everything here has internal linkage, so the SSE2, AVX and AVX-512
 * copies, compiled for different instruction sets, never merge into one.
 * The y and z passes, and the two ends of every x line, move lines into
 * blocks of eight (block_filter.h), filter them in the vector lanes and
 * move them back; the moves only copy bits. The rest of each x line is filtered
 * along the line. run_passes hands the planes, then the z lines, to
 * run_in_threads (threads.h). */
#ifndef VOXBLUR_PASSES_SIMD_H
#define VOXBLUR_PASSES_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "block_filter.h"
#include "threads.h"

namespace {

/* The longest axis gauss_filter accepts. */
const int32_t max_axis_length = 1023;
/* Two x-pass blocks of the longest axis; the y and z passes use it all to
 * gather several blocks at once. 128 KiB, on the stack. */
const ptrdiff_t work_capacity = 2 * 1024 * block;

inline int32_t smaller(int32_t a, int32_t b)
{
    return a < b ? a : b;
}

/* ---- x lines ----------------------------------------------------------- */

/* `count` (up to eight) rows of n samples, `stride` apart, become the
 * block's lanes; lanes without a row are zero. */
template <class S>
void gather_rows(const double* rows, ptrdiff_t stride, int32_t count, int32_t n, double* lines)
{
    typedef typename S::V V;
    const int W = S::width;
    int32_t x = 0;
    if (count == block)
        for (; x + W <= n; x += W)
#pragma GCC unroll 8
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
#pragma GCC unroll 8
                for (int q = 0; q < W; ++q)
                    part[q] = S::loadu(rows + (lane + q) * stride + x);
                S::transpose(part);
#pragma GCC unroll 8
                for (int q = 0; q < W; ++q)
                    S::store(lines + (x + q) * block + lane, part[q]);
            }
    for (; x < n; ++x)
#pragma GCC unroll 8
        for (int lane = 0; lane < block; ++lane)
            lines[x * block + lane] = lane < count ? rows[lane * stride + x] : 0.0;
}

/* The block's first `count` lanes back to rows of n samples. */
template <class S>
void scatter_rows(const double* lines, int32_t count, int32_t n, double* rows, ptrdiff_t stride)
{
    typedef typename S::V V;
    const int W = S::width;
    int32_t x = 0;
    if (count == block)
        for (; x + W <= n; x += W)
#pragma GCC unroll 8
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
#pragma GCC unroll 8
                for (int q = 0; q < W; ++q)
                    part[q] = S::load(lines + (x + q) * block + lane);
                S::transpose(part);
#pragma GCC unroll 8
                for (int q = 0; q < W; ++q)
                    S::storeu(rows + (lane + q) * stride + x, part[q]);
            }
    for (; x < n; ++x)
        for (int lane = 0; lane < count; ++lane)
            rows[lane * stride + x] = lines[x * block + lane];
}

/* Interior x outputs out[0 .. G * S::width - 1] of one line, `window`
 * being the sample half a kernel before out[0]. Here the lanes hold
 * neighbouring outputs of the same line, which needs no transposing and
 * keeps each output's sum in filter_1d's order just the same. */
template <class S, int G>
inline void line_outputs(const double* window, const AxisKernel& kernel, double* out)
{
    typedef typename S::V V;
    V sum[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        sum[g] = S::zero();
    /* A kernel has at least one tap; saying so spares a branch the compiler
     * would otherwise turn into a memset call. */
    int32_t j = 0;
    do {
        const V tap = S::tap(kernel, j);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[g] = S::add(sum[g], S::mul(tap, S::loadu(window + j + g * S::width)));
    } while (++j < kernel.count);
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        S::storeu(out + g * S::width, sum[g]);
}

/* The interior outputs of one x line, at least S::width of them. The last
 * vector may overlap the one before: it writes the same values again. */
template <class S>
void filter_line_interior(const double* in, double* out, int32_t nx, const AxisKernel& kernel)
{
    const int W = S::width;
    const int G = 8;
    const int32_t h = kernel.half;
    const int32_t end = nx - h;
    int32_t i = h;
    for (; i + G * W <= end; i += G * W)
        line_outputs<S, G>(in + i - h, kernel, out + i);
    for (; i + W <= end; i += W)
        line_outputs<S, 1>(in + i - h, kernel, out + i);
    if (i < end)
        line_outputs<S, 1>(in + end - W - h, kernel, out + end - W);
}

/* The x pass of one plane, from the input to the output. The interior of
 * each line is filtered along the line itself; only the 2 * half columns
 * at either end, which the edge outputs read, are transposed into blocks
 * of eight lines. Lines too short for that go through blocks whole. */
template <class S>
void filter_x(const double* in, double* out, int32_t nx, int32_t ny, const AxisKernel& kernel,
              double* work)
{
    double* lines = work;
    double* filtered = work + (max_axis_length + 1) * block;
    const int32_t h = kernel.half;
    const bool whole_lines = nx - 2 * h < S::width;
    for (int32_t y = 0; y < ny; y += block) {
        const int32_t rows = smaller(block, ny - y);
        const double* in_rows = in + (ptrdiff_t)y * nx;
        double* out_rows = out + (ptrdiff_t)y * nx;
        if (whole_lines) {
            gather_rows<S>(in_rows, nx, rows, nx, lines);
            filter_outputs<S>(lines, nx, kernel, 0, nx, filtered, block);
            scatter_rows<S>(filtered, rows, nx, out_rows, nx);
            continue;
        }
        for (int32_t r = 0; r < rows; ++r)
            filter_line_interior<S>(in_rows + r * nx, out_rows + r * nx, nx, kernel);
        if (h == 0)
            continue;
        /* Each end as a line of 2 * half samples: its outputs near that end
         * are the line's, and read no further. */
        const int32_t edge = 2 * h;
        gather_rows<S>(in_rows, nx, rows, edge, lines);
        filter_outputs<S>(lines, edge, kernel, 0, h, filtered, block);
        scatter_rows<S>(filtered, rows, h, out_rows, nx);
        gather_rows<S>(in_rows + (nx - edge), nx, rows, edge, lines);
        filter_outputs<S>(lines, edge, kernel, h, edge, filtered, block);
        scatter_rows<S>(filtered + h * block, rows, h, out_rows + (nx - h), nx);
    }
}

/* ---- y and z lines ----------------------------------------------------- */

/* `count` (up to eight) adjacent samples form one row of a block; lanes
 * beyond them are zero. */
template <class S>
inline void copy_columns_in(const double* columns, int32_t count, double* row)
{
    if (count == block) {
#pragma GCC unroll 8
        for (int v = 0; v < block; v += S::width)
            S::store(row + v, S::loadu(columns + v));
        return;
    }
#pragma GCC unroll 8
    for (int lane = 0; lane < block; ++lane)
        row[lane] = lane < count ? columns[lane] : 0.0;
}

/* Filters, in place, `width` adjacent lines of n samples `stride` apart,
 * the first starting at `first`: the y lines of a plane or the z lines of
 * a row. As many blocks as the work area holds are gathered at once, so
 * that each row is read in a run of several cache lines, and gathering
 * keeps only half a kernel ahead of filtering: a sample is written back
 * soon after it was read, while its cache line is still near. One block's
 * room is kept as scratch for a block of fewer than eight lines. */
template <class S>
void filter_columns(double* first, ptrdiff_t stride, int32_t n, int32_t width,
                    const AxisKernel& kernel, double* work)
{
    /* Outputs filtered per round, between gathers. */
    const int32_t round = 8;
    const ptrdiff_t block_size = (ptrdiff_t)n * block;
    const int32_t blocks_per_gather = (int32_t)(work_capacity / block_size) - 1;
    double* scratch = work + blocks_per_gather * block_size;
    for (int32_t x = 0; x < width; x += blocks_per_gather * block) {
        const int32_t columns = smaller(blocks_per_gather * block, width - x);
        const int32_t blocks = (columns + block - 1) / block;
        int32_t gathered = 0;
        for (int32_t from = 0; from < n; from += round) {
            const int32_t to = smaller(from + round, n);
            for (; gathered < n && gathered < to + kernel.half; ++gathered)
                for (int32_t b = 0; b < blocks; ++b)
                    copy_columns_in<S>(first + gathered * stride + x + b * block,
                                       smaller(block, columns - b * block),
                                       work + b * block_size + gathered * block);
            for (int32_t b = 0; b < blocks; ++b) {
                const double* lines = work + b * block_size;
                double* dst = first + x + b * block;
                const int32_t count = smaller(block, columns - b * block);
                if (count == block) {
                    filter_outputs<S>(lines, n, kernel, from, to, dst, stride);
                    continue;
                }
                filter_outputs<S>(lines, n, kernel, from, to, scratch, block);
                for (int32_t j = from; j < to; ++j)
                    for (int lane = 0; lane < count; ++lane)
                        dst[j * stride + lane] = scratch[j * block + lane];
            }
        }
    }
}

/* ---- the passes -------------------------------------------------------- */

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

/* The x and y passes of a share of the planes: plane z needs input plane z
 * only, and the y pass finds the x pass's output still in cache. */
template <class S>
void xy_part(void* context, int32_t part)
{
    const PassesTask& task = *static_cast<const PassesTask*>(context);
    alignas(64) double work[work_capacity];
    const ptrdiff_t nxy = (ptrdiff_t)task.nx * task.ny;
    const int32_t end = (int32_t)share_start(task.nz, task.parts, part + 1, 1);
    for (int32_t z = (int32_t)share_start(task.nz, task.parts, part, 1); z < end; ++z) {
        filter_x<S>(task.input + z * nxy, task.output + z * nxy, task.nx, task.ny, task.kx, work);
        filter_columns<S>(task.output + z * nxy, task.nx, task.ny, task.nx, task.ky, work);
    }
}

/* The z pass of a share of the z lines. The line of (x, y) starts at
 * y * nx + x of the first plane, so all of them side by side are one row
 * of nx * ny columns; the shares are whole blocks of eight. */
template <class S>
void z_part(void* context, int32_t part)
{
    const PassesTask& task = *static_cast<const PassesTask*>(context);
    alignas(64) double work[work_capacity];
    const ptrdiff_t nxy = (ptrdiff_t)task.nx * task.ny;
    const ptrdiff_t start = share_start(nxy, task.parts, part, block);
    const ptrdiff_t end = share_start(nxy, task.parts, part + 1, block);
    if (start < end)
        filter_columns<S>(task.output + start, nxy, task.nz, (int32_t)(end - start), task.kz,
                          work);
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
    const ptrdiff_t z_blocks = ((ptrdiff_t)nx * ny + block - 1) / block;
    task.parts = z_blocks < threads ? (int32_t)z_blocks : threads;
    run_in_threads(task.parts, z_part<S>, &task);
}

}  // namespace

#endif
