/* The body of the vector passes, shared by passes_sse2.cpp,
 * passes_avx.cpp, passes_avx512.cpp and passes_neon.cpp. Each defines a
 * vector type S and includes this file:
 *
 *   S::V                   the vector of S::width doubles (2, 4 or 8)
 *   zero, splat            all lanes 0.0, all lanes one value
 *   tap(kernel, j)         all lanes kernel tap j
 *   load, store            aligned; loadu, storeu unaligned
 *   add, mul, div          lane by lane, rounded to double
 *   transpose(V[width])    rows to columns
 *   shifted_windows        whether filter_line_interior builds its windows
 *                          with window<r>(lo, hi), the vector r samples
 *                          into lo, from aligned loads
 *
 * Everything here has internal linkage, so the SSE2, AVX and AVX-512
 * copies, compiled for different instruction sets, never merge into one.
 * The two ends of every x line move into blocks of eight lines
 * (block_filter.h), are filtered in the vector lanes and move back; the
 * moves only copy bits. The rest of each x line is filtered along the line.
 * The y and z passes add whole runs of rows or planes, the lanes holding
 * neighbouring lines, in place and a chunk of every row or plane at a
 * time. run_passes hands the planes, then the z pass's chunks, to
 * run_in_threads (threads.h). */
#ifndef VOXBLUR_PASSES_SIMD_H
#define VOXBLUR_PASSES_SIMD_H

#include <stddef.h>
#include <stdint.h>

/* Microsoft's compiler knows no "#pragma GCC unroll" and would warn at
 * each one. */
#if defined(_MSC_VER) && !defined(__clang__)
#pragma warning(disable : 4068)
#endif

#include "block_filter.h"
#include "engine_limits.h"
#include "threads.h"

namespace {

/* Two x-pass blocks as long as a line buffer, or the ring of layer chunks
 * of the y and z passes. 128 KiB, on the stack. */
const ptrdiff_t work_capacity = 2 * line_buffer_length * block;

inline int32_t smaller(int32_t a, int32_t b)
{
    return a < b ? a : b;
}

inline int32_t larger(int32_t a, int32_t b)
{
    return a > b ? a : b;
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

/* Interior x outputs out[0 .. G * S::width - 1] of one line, where
 * `window`, the sample half a kernel before out[0], begins on a 64-byte
 * boundary and a vector is 64 bytes (aligned_line_outputs, below). A
 * vector of a line that begins anywhere else straddles two cache lines,
 * and loading one per tap and output vector costs two loads each. Here
 * each window is put together from the two aligned vectors it spans
 * (S::window): the same samples in the same lanes, multiplied and added in
 * the same order, so every sum is the same. It reads up to a vector beyond
 * the samples the outputs use.
 *
 * Tap `tap` into each of the G sums, the windows shifted by r samples. */
template <class S, int G, int r>
inline void add_shifted_windows(const typename S::V* aligned, typename S::V tap,
                                typename S::V* sum)
{
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        sum[g] = S::add(sum[g], S::mul(tap, r == 0 ? aligned[g]
                                                   : S::template window<r>(aligned[g],
                                                                           aligned[g + 1])));
}

/* Taps j + r, j + r + 1, ... up to j + S::width - 1 or the last tap, each
 * with the window shifted by as many samples. */
template <class S, int G, int r>
inline void add_taps_from(const typename S::V* aligned, const AxisKernel& kernel, int32_t j,
                          typename S::V* sum)
{
    if (j + r >= kernel.count)
        return;
    add_shifted_windows<S, G, r>(aligned, S::tap(kernel, j + r), sum);
    /* (The last r names itself, in a branch the compiler drops: the
     * sources stay C++14, which mex commands may still ask for.) */
    const int next = r + 1 < S::width ? r + 1 : r;
    if (next != r)
        add_taps_from<S, G, next>(aligned, kernel, j, sum);
}

template <class S, int G>
inline void aligned_line_outputs(const double* window, const AxisKernel& kernel, double* out)
{
    typedef typename S::V V;
    const int W = S::width;
    V sum[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        sum[g] = S::zero();
    for (int32_t j = 0; j < kernel.count; j += W) {
        V aligned[G + 1];
#pragma GCC unroll 9
        for (int g = 0; g <= G; ++g)
            aligned[g] = S::load(window + j + g * W);
        add_taps_from<S, G, 0>(aligned, kernel, j, sum);
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        S::storeu(out + g * W, sum[g]);
}

/* The first interior outputs of one x line, for filter_line_interior:
 * where S builds shifted windows, up to the first output whose window
 * begins on a cache line one vector as below, then groups of aligned
 * windows, as long as the vector after each group's samples lies within
 * the line. Returns the first output it leaves to its caller. */
template <class S, int G, bool shifted = S::shifted_windows>
struct AlignedInterior {
    static int32_t outputs(const double*, double*, int32_t, const AxisKernel& kernel,
                           const OutputRun&)
    {
        return kernel.half;
    }
};

template <class S, int G>
struct AlignedInterior<S, G, true> {
    static int32_t outputs(const double* in, double* out, int32_t end, const AxisKernel& kernel,
                           const OutputRun& run)
    {
        const int W = S::width;
        const int32_t h = kernel.half;
        const int32_t lead = (int32_t)((W - (uintptr_t)in / sizeof(double) % W) % W);
        if (h + lead + G * W + W > end)
            return h;
        if (lead > 0)
            run_outputs<S, 1, 1, false, false>(SteppedRows{in, 1}, kernel, run, out + h, 0);
        int32_t i = h + lead;
        for (; i + G * W + W <= end; i += G * W)
            aligned_line_outputs<S, G>(in + i - h, kernel, out + i);
        return i;
    }
};

/* The interior outputs of one x line, at least S::width of them. Here the
 * lanes hold neighbouring outputs of the same line, which needs no
 * transposing: the rows of a run are the line's own samples, from the one
 * half a kernel before the output on. The last vector may overlap the one
 * before: it writes the same values again. */
template <class S>
void filter_line_interior(const double* in, double* out, int32_t nx, const AxisKernel& kernel)
{
    const int W = S::width;
    const int G = 8;
    const int32_t h = kernel.half;
    const int32_t end = nx - h;
    const OutputRun run = {0, 0, 0, kernel.count - 1, true, 0, 0};
    int32_t i = AlignedInterior<S, G>::outputs(in, out, end, kernel, run);
    for (; i + G * W <= end; i += G * W)
        run_outputs<S, 1, G, false, false>(SteppedRows{in + i - h, 1}, kernel, run, out + i, 0);
    for (; i + W <= end; i += W)
        run_outputs<S, 1, 1, false, false>(SteppedRows{in + i - h, 1}, kernel, run, out + i, 0);
    if (i < end)
        run_outputs<S, 1, 1, false, false>(SteppedRows{in + end - W - h, 1}, kernel, run,
                                           out + end - W, 0);
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
    double* filtered = work + line_buffer_length * block;
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

/* The y and z passes see the volume as layers: the rows of a plane or the
 * planes of the volume. The vector lanes hold neighbouring lines, whose
 * samples lie side by side in every layer, so an output layer is a sum of
 * whole input layers, with no samples to move. */

/* Samples from .. to - 1, in steps of G * S::width, of the R output layers
 * of `run`. */
template <class S, int R, int G, bool edge>
inline void layer_columns(const double* const* layers, const AxisKernel& kernel,
                          const OutputRun& run, ptrdiff_t from, ptrdiff_t to, double* out,
                          ptrdiff_t out_stride)
{
    for (ptrdiff_t c = from; c < to; c += G * S::width)
        run_outputs<S, R, G, edge, false>(LayerRows{layers, c}, kernel, run, out + c, out_stride);
}

/* All `length` samples (at least S::width) of the R output layers of
 * `run`: eight sums at once, R layers of block / R vectors, then single
 * vectors. The last vector may overlap the one before: it writes the same
 * values again. */
template <class S, int R, bool edge>
void layer_sweep(const double* const* layers, const AxisKernel& kernel, const OutputRun& run,
                 ptrdiff_t length, double* out, ptrdiff_t out_stride)
{
    const int W = S::width;
    const int G = block / R;
    const ptrdiff_t wide = length / (G * W) * (G * W);
    const ptrdiff_t vectors = length / W * W;
    layer_columns<S, R, G, edge>(layers, kernel, run, 0, wide, out, out_stride);
    layer_columns<S, R, 1, edge>(layers, kernel, run, wide, vectors, out, out_stride);
    if (vectors < length)
        layer_columns<S, R, 1, edge>(layers, kernel, run, length - W, length, out, out_stride);
}

/* Output layers i .. i + outputs - 1 of n, `length` samples of each,
 * output i + o into out + o * out_stride: layers[t] is layer first + t of
 * the layers they read, first being max(0, i - half), and none of them is
 * an output. `outputs` is 1, or S::width outputs that all lie near the
 * start, all in the interior or all near the end (see layers_run). */
template <class S>
void filter_layers(const double* const* layers, int32_t n, int32_t i, int32_t outputs,
                   const AxisKernel& kernel, ptrdiff_t length, double* out, ptrdiff_t out_stride)
{
    const int W = S::width;
    const OutputRun run = output_run(n, i, outputs, kernel);
    const bool edge = run.weights != 0;
    if (length < W) {
        /* Too few samples for a vector; layers_run then gives one output. */
        for (ptrdiff_t c = 0; c < length; ++c) {
            double sum = 0.0;
            for (int32_t t = 0; t <= run.end; ++t)
                sum += kernel.taps[run.shift + t] * layers[t][c];
            out[c] = edge ? sum / run.weights[0] : sum;
        }
    } else if (outputs == 1) {
        if (edge)
            layer_sweep<S, 1, true>(layers, kernel, run, length, out, out_stride);
        else
            layer_sweep<S, 1, false>(layers, kernel, run, length, out, out_stride);
    } else {
        if (edge)
            layer_sweep<S, W, true>(layers, kernel, run, length, out, out_stride);
        else
            layer_sweep<S, W, false>(layers, kernel, run, length, out, out_stride);
    }
}

/* How many output layers from i on filter_layers computes at once, with
 * `length` samples per layer: S::width where the kernel and the samples
 * are long enough and the outputs all lie within half a kernel of the
 * start, all in the interior or all within half a kernel of the end (a
 * kernel longer than S::width has room for a run at either end), else 1. */
template <class S>
inline int32_t layers_run(int32_t n, int32_t i, const AxisKernel& kernel, ptrdiff_t length)
{
    const int32_t h = kernel.half;
    const int32_t last = i + S::width - 1;
    const bool one_part = last < h || (i >= h && last < n - h) || (i >= n - h && last < n);
    return kernel.count >= S::width && length >= S::width && one_part ? S::width : 1;
}

/* filter_chunks takes each layer in chunks of chunk_length(kernel)
 * samples: half a kernel and a run of output layers' worth of chunks fill
 * the work area. Runs of some thousand samples (16 KiB at 9 taps, 6 KiB at
 * 33) keep each visit to a plane long. */
template <class S>
inline ptrdiff_t chunk_length(const AxisKernel& kernel)
{
    return work_capacity / (kernel.half + S::width) / block * block;
}

/* Where chunk 0 would begin for chunks of `chunk` samples to begin on
 * 64-byte boundaries, at or before the first sample: vectors that
 * straddle cache lines cost the processor twice. Chunk 0 is then the few
 * samples before the first boundary. Layers that lie differently from
 * each other cannot all be served: there chunks begin at 0. */
inline ptrdiff_t chunk_origin(const double* first, ptrdiff_t size, ptrdiff_t chunk)
{
    const ptrdiff_t lead = (block - (ptrdiff_t)((uintptr_t)first / sizeof(double) % block)) % block;
    return size % block == 0 && lead > 0 ? lead - chunk : 0;
}

template <class S>
inline ptrdiff_t chunk_count(const double* first, ptrdiff_t size, const AxisKernel& kernel)
{
    const ptrdiff_t chunk = chunk_length<S>(kernel);
    return (size - chunk_origin(first, size, chunk) + chunk - 1) / chunk;
}

/* The y or z pass in place on chunks chunk_begin .. chunk_end - 1 (of
 * chunk_count) of n layers of `size` samples that follow each other at
 * `first`: a chunk of
 * every layer in turn, from the first layer to the last. Each output reads
 * the chunks of the layers within half a kernel, which stay in cache from
 * one output to the next, so the layers are read once and written once, in
 * runs of whole chunks. Before a layer's chunk is overwritten it is saved
 * in a ring in the work area (work_capacity doubles), where the outputs
 * after it find it. Chunks are independent of each other: any split of
 * them among callers, each with its own work area, writes the same bits. */
template <class S>
void filter_chunks(double* first, ptrdiff_t size, int32_t n, const AxisKernel& kernel,
                   ptrdiff_t chunk_begin, ptrdiff_t chunk_end, double* work)
{
    const int32_t slots = kernel.half + S::width;
    const ptrdiff_t chunk = chunk_length<S>(kernel);
    const ptrdiff_t origin = chunk_origin(first, size, chunk);
    const double* layers[kernel_buffer_length + block];
    for (ptrdiff_t index = chunk_begin; index < chunk_end; ++index) {
        const ptrdiff_t start = origin + index * chunk;
        const ptrdiff_t c0 = start > 0 ? start : 0;
        const ptrdiff_t length = (start + chunk < size ? start + chunk : size) - c0;
        for (int32_t i = 0; i < n;) {
            const int32_t outputs = layers_run<S>(n, i, kernel, length);
            for (int32_t l = i; l < i + outputs; ++l) {
                const double* layer = first + l * size + c0;
                double* saved = work + (l % slots) * chunk;
                ptrdiff_t c = 0;
                for (; c + S::width <= length; c += S::width)
                    S::store(saved + c, S::loadu(layer + c));
                for (; c < length; ++c)
                    saved[c] = layer[c];
            }
            const int32_t from = larger(0, i - kernel.half);
            const int32_t to = smaller(n - 1, i + outputs - 1 + kernel.half);
            for (int32_t l = from; l <= to; ++l)
                layers[l - from] =
                    l < i + outputs ? work + (l % slots) * chunk : first + l * size + c0;
            filter_layers<S>(layers, n, i, outputs, kernel, length, first + i * size + c0, size);
            i += outputs;
        }
    }
}

/* ---- the passes -------------------------------------------------------- */

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
