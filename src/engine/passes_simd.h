/* The body of the vector passes, shared by passes_sse2.cpp and
 * passes_avx.cpp. Each defines a vector type S and includes this file:
 *
 *   S::V                   the vector of S::width doubles (2 or 4)
 *   zero, splat            all lanes 0.0, all lanes one value
 *   tap(kernel, j)         all lanes kernel tap j
 *   load, store            aligned; loadu, storeu unaligned
 *   add, mul, div          lane by lane, rounded to double
 *   transpose(V[width])    rows to columns
 *
 * Everything here has internal linkage, so the SSE2 and the AVX copies,
 * compiled for different instruction sets, never merge into one.
 *
 * Two sweeps, each reading and writing the volume once in long runs of
 * neighbouring samples. The first takes the x and the y pass of a plane
 * together: x lines are filtered along the line (their ends through blocks
 * of eight lines, block_filter.h) into a small ring of rows, from which
 * the y outputs go straight to the output plane. The second takes the z
 * pass in place, a chunk of every plane at a time. In the y and z passes
 * the vector lanes hold neighbouring lines, so the samples need no moving
 * at all. */
#ifndef VOXBLUR_PASSES_SIMD_H
#define VOXBLUR_PASSES_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "block_filter.h"

namespace {

/* The work area, on the stack: the ring of x-filtered rows of the first
 * sweep or the saved planes of the second. 128 KiB. */
const ptrdiff_t work_capacity = 16384;
/* Rows of a block that the ends of x lines pass through: at most half a
 * kernel of outputs, or fewer than S::width interior ones, with half a
 * kernel of samples on either side. */
const int32_t edge_capacity = kernel_capacity + block;

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

/* `count` (at least S::width) outputs of one line into out[0 ..], from
 * window[0 .. count + 2 * half - 1]. The last vector may overlap the one
 * before: it writes the same values again. */
template <class S>
void filter_line_run(const double* window, int32_t count, const AxisKernel& kernel, double* out)
{
    const int W = S::width;
    const int G = 8;
    int32_t i = 0;
    for (; i + G * W <= count; i += G * W)
        line_outputs<S, G>(window + i, kernel, out + i);
    for (; i + W <= count; i += W)
        line_outputs<S, 1>(window + i, kernel, out + i);
    if (i < count)
        line_outputs<S, 1>(window + count - W, kernel, out + count - W);
}

/* Outputs from .. to - 1 of `rows` (up to eight) x lines through a block:
 * the lines are cut to the samples those outputs read, which keeps each
 * output's place relative to the ends (see filter_outputs), transposed
 * into lanes, filtered and transposed back to dst, whose first column is
 * output `from`. */
template <class S>
void filter_x_block(const double* in_rows, int32_t nx, int32_t rows, int32_t from, int32_t to,
                    const AxisKernel& kernel, double* dst, ptrdiff_t dst_stride, double* lines,
                    double* filtered)
{
    const int32_t a = larger(0, from - kernel.half);
    const int32_t b = smaller(nx, to + kernel.half);
    gather_rows<S>(in_rows + a, nx, rows, b - a, lines);
    filter_outputs<S>(lines, b - a, kernel, from - a, to - a, filtered, block);
    scatter_rows<S>(filtered + (from - a) * block, rows, to - from, dst, dst_stride);
}

/* Outputs x0 .. x1 - 1 of `rows` (up to eight) x lines of nx samples,
 * `nx` apart, into rows of dst. Interior runs of at least S::width outputs
 * are filtered along the line; the outputs within half a kernel of either
 * end, and shorter interior runs, through blocks. */
template <class S>
void filter_x_rows(const double* in_rows, int32_t nx, int32_t rows, int32_t x0, int32_t x1,
                   const AxisKernel& kernel, double* dst, ptrdiff_t dst_stride, double* lines,
                   double* filtered)
{
    const int32_t h = kernel.half;
    const int32_t inner_from = larger(x0, h);
    const int32_t inner_to = smaller(x1, nx - h);
    if (x0 < inner_from)
        filter_x_block<S>(in_rows, nx, rows, x0, smaller(inner_from, x1), kernel, dst, dst_stride,
                          lines, filtered);
    if (inner_to - inner_from >= S::width)
        for (int32_t r = 0; r < rows; ++r)
            filter_line_run<S>(in_rows + r * nx + (inner_from - h), inner_to - inner_from, kernel,
                               dst + r * dst_stride + (inner_from - x0));
    else if (inner_from < inner_to)
        filter_x_block<S>(in_rows, nx, rows, inner_from, inner_to, kernel,
                          dst + (inner_from - x0), dst_stride, lines, filtered);
    const int32_t outer_from = larger(x0, nx - h);
    if (outer_from < x1)
        filter_x_block<S>(in_rows, nx, rows, outer_from, x1, kernel, dst + (outer_from - x0),
                          dst_stride, lines, filtered);
}

/* ---- y and z lines ----------------------------------------------------- */

/* out[c .. c + G * S::width - 1] of one output of neighbouring lines
 * (one line per lane) that crosses `count` rows: rows[t][c] meets tap
 * first_tap + t, in increasing t as in filter_1d, and the sum is divided
 * by *weight when there is one. */
template <class S, int G>
inline void column_outputs(const double* const* rows, int32_t count, const AxisKernel& kernel,
                           int32_t first_tap, const double* weight, ptrdiff_t c, double* out)
{
    typedef typename S::V V;
    V sum[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        sum[g] = S::zero();
    int32_t t = 0;
    do {
        const V tap = S::tap(kernel, first_tap + t);
        const double* row = rows[t] + c;
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[g] = S::add(sum[g], S::mul(tap, S::loadu(row + g * S::width)));
    } while (++t < count);
    if (weight) {
        const V divisor = S::splat(*weight);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[g] = S::div(sum[g], divisor);
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        S::storeu(out + c + g * S::width, sum[g]);
}

/* The same for R neighbouring interior outputs at once, output o into
 * out + o * out_stride: rows[s] for s < kernel.count + R - 1 are the rows
 * they read, output o meeting row s with tap s - o. Each row is loaded once
 * for all R outputs, and output o's tap is output o - 1's tap of the row
 * before. */
template <class S, int R, int G>
inline void column_outputs_run(const double* const* rows, const AxisKernel& kernel, ptrdiff_t c,
                               double* out, ptrdiff_t out_stride)
{
    typedef typename S::V V;
    const int32_t count = kernel.count;
    V sum[R][G];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[o][g] = S::zero();
    /* The first rows reach only the first outputs. */
#pragma GCC unroll 8
    for (int q = 0; q + 1 < R; ++q) {
        const double* row = rows[q] + c;
#pragma GCC unroll 8
        for (int o = 0; o <= q; ++o) {
            const V tap = S::tap(kernel, q - o);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::add(sum[o][g], S::mul(tap, S::loadu(row + g * S::width)));
        }
    }
    V tap[R];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
        tap[o] = S::tap(kernel, R - 1 - o);
    for (int32_t s = R - 1;; ++s) {
        const double* row = rows[s] + c;
        V data[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            data[g] = S::loadu(row + g * S::width);
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::add(sum[o][g], S::mul(tap[o], data[g]));
        if (s == count - 1)
            break;
#pragma GCC unroll 8
        for (int o = R - 1; o > 0; --o)
            tap[o] = tap[o - 1];
        tap[0] = S::tap(kernel, s + 1);
    }
    /* The last rows reach only the last outputs. */
#pragma GCC unroll 8
    for (int q = 0; q + 1 < R; ++q) {
        const double* row = rows[count + q] + c;
#pragma GCC unroll 8
        for (int o = q + 1; o < R; ++o) {
            const V tap_o = S::tap(kernel, count + q - o);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::add(sum[o][g], S::mul(tap_o, S::loadu(row + g * S::width)));
        }
    }
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            S::storeu(out + o * out_stride + c + g * S::width, sum[o][g]);
}

/* Outputs i .. i + outputs - 1 of every line crossing n rows, for
 * `length` neighbouring lines, output i + o into out + o * out_stride:
 * rows[t] is row first + t of the rows they read, first being
 * max(0, i - half). `outputs` is 1, or S::width interior outputs of a
 * kernel of at least as many taps for at least as many lines (see
 * columns_run). The outputs go to
 * none of the rows. An output within half a kernel of either end is
 * divided by the sum of the taps it used. */
template <class S>
void filter_columns(const double* const* rows, int32_t n, int32_t i, int32_t outputs,
                    const AxisKernel& kernel, ptrdiff_t length, double* out, ptrdiff_t out_stride)
{
    const int W = S::width;
    const int G = block / W;
    ptrdiff_t c = 0;
    if (outputs > 1) {
        for (; c + block <= length; c += block)
            column_outputs_run<S, W, G>(rows, kernel, c, out, out_stride);
        for (; c < length; c += W) {
            const ptrdiff_t at = c + W <= length ? c : length - W;
            column_outputs_run<S, W, 1>(rows, kernel, at, out, out_stride);
        }
        return;
    }
    const int32_t h = kernel.half;
    const int32_t first = larger(0, i - h);
    const int32_t count = smaller(n - 1, i + h) - first + 1;
    const int32_t first_tap = first - (i - h);
    const double* weight = i < h ? &kernel.lead[i] : i >= n - h ? &kernel.trail[n - 1 - i] : 0;
    for (; c + block <= length; c += block)
        column_outputs<S, G>(rows, count, kernel, first_tap, weight, c, out);
    for (; c + W <= length; c += W)
        column_outputs<S, 1>(rows, count, kernel, first_tap, weight, c, out);
    if (c == length)
        return;
    if (length >= W) {
        column_outputs<S, 1>(rows, count, kernel, first_tap, weight, length - W, out);
        return;
    }
    for (; c < length; ++c) {
        double sum = 0.0;
        for (int32_t t = 0; t < count; ++t)
            sum += kernel.taps[first_tap + t] * rows[t][c];
        out[c] = weight ? sum / *weight : sum;
    }
}

/* How many outputs from i on filter_columns computes at once for `length`
 * lines: S::width interior ones where they and the lines fit, else 1. */
template <class S>
inline int32_t columns_run(int32_t n, int32_t i, const AxisKernel& kernel, ptrdiff_t length)
{
    const int32_t h = kernel.half;
    return kernel.count >= S::width && length >= S::width && i >= h && i + S::width <= n - h
               ? S::width
               : 1;
}

/* ---- the two sweeps ---------------------------------------------------- */

/* The x and y passes of one plane, from the input to the output. Columns
 * x0 .. x1 - 1 at a time (all of them unless the ring is short of room),
 * the x outputs of eight rows at a time go into a ring of rows in the
 * work area, and each y output row is written as soon as the rows it reads
 * are there: the ring stays in the first-level caches and the plane is
 * read once and written once. */
template <class S>
void filter_plane_xy(const double* in, double* out, int32_t nx, int32_t ny, const AxisKernel& kx,
                     const AxisKernel& ky, double* work, double* lines, double* filtered)
{
    /* Room for the rows a run of output rows reads and the next eight,
     * whole blocks of eight so that those eight never wrap. */
    const int32_t slots = (ky.count + S::width + 2 * block - 3) / block * block;
    const int32_t width = smaller(nx, (int32_t)(work_capacity / slots));
    const double* rows[kernel_capacity + block];
    for (int32_t x0 = 0; x0 < nx; x0 += width) {
        const int32_t x1 = smaller(nx, x0 + width);
        int32_t filtered_rows = 0;
        for (int32_t i = 0; i < ny;) {
            const int32_t outputs = columns_run<S>(ny, i, ky, x1 - x0);
            const int32_t first = larger(0, i - ky.half);
            const int32_t last = smaller(ny - 1, i + outputs - 1 + ky.half);
            for (; filtered_rows <= last; filtered_rows += block)
                filter_x_rows<S>(in + (ptrdiff_t)filtered_rows * nx, nx,
                                 smaller(block, ny - filtered_rows), x0, x1, kx,
                                 work + (filtered_rows % slots) * width, width, lines, filtered);
            for (int32_t r = first; r <= last; ++r)
                rows[r - first] = work + (r % slots) * width;
            filter_columns<S>(rows, ny, i, outputs, ky, x1 - x0, out + (ptrdiff_t)i * nx + x0, nx);
            i += outputs;
        }
    }
}

/* Planes z_begin .. z_end - 1 through filter_plane_xy. Planes are
 * independent of each other, so any split of them among callers writes
 * the same bits. */
template <class S>
void filter_planes_xy(const double* input, double* output, int32_t nx, int32_t ny,
                      const AxisKernel& kx, const AxisKernel& ky, int32_t z_begin, int32_t z_end)
{
    alignas(64) double work[work_capacity];
    alignas(64) double lines[edge_capacity * block];
    alignas(64) double filtered[edge_capacity * block];
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    for (int32_t z = z_begin; z < z_end; ++z)
        filter_plane_xy<S>(input + z * nxy, output + z * nxy, nx, ny, kx, ky, work, lines,
                           filtered);
}

/* The z pass works on each plane's samples c .. c + z_chunk(kz) - 1 at a
 * time: half a kernel and a run of outputs' worth of them fit the work
 * area. */
template <class S>
inline ptrdiff_t z_chunk(const AxisKernel& kz)
{
    return work_capacity / (kz.half + S::width) / block * block;
}

/* The z pass in place on chunks chunk_begin .. chunk_end - 1 of the
 * volume's planes of nxy samples: a chunk of every plane in turn, from the
 * first plane to the last. Each output reads the chunks of the planes
 * within half a kernel, which stay in cache from one output to the next,
 * so the volume is read once and written once, in runs of whole chunks.
 * Before a plane's chunk is overwritten it is saved in a ring, where the
 * outputs after it find it. Chunks are independent of each other. */
template <class S>
void filter_chunks_z(double* volume, ptrdiff_t nxy, int32_t nz, const AxisKernel& kz,
                     ptrdiff_t chunk_begin, ptrdiff_t chunk_end)
{
    alignas(64) double work[work_capacity];
    const int32_t slots = kz.half + S::width;
    const ptrdiff_t chunk = z_chunk<S>(kz);
    const double* rows[kernel_capacity + block];
    for (ptrdiff_t index = chunk_begin; index < chunk_end; ++index) {
        const ptrdiff_t c0 = index * chunk;
        const ptrdiff_t length = nxy - c0 < chunk ? nxy - c0 : chunk;
        for (int32_t k = 0; k < nz;) {
            const int32_t outputs = columns_run<S>(nz, k, kz, length);
            for (int32_t p = k; p < k + outputs; ++p) {
                const double* plane = volume + p * nxy + c0;
                double* saved = work + (p % slots) * chunk;
                ptrdiff_t c = 0;
                for (; c + S::width <= length; c += S::width)
                    S::store(saved + c, S::loadu(plane + c));
                for (; c < length; ++c)
                    saved[c] = plane[c];
            }
            const int32_t first = larger(0, k - kz.half);
            const int32_t last = smaller(nz - 1, k + outputs - 1 + kz.half);
            for (int32_t p = first; p <= last; ++p)
                rows[p - first] =
                    p < k + outputs ? work + (p % slots) * chunk : volume + p * nxy + c0;
            filter_columns<S>(rows, nz, k, outputs, kz, length, volume + k * nxy + c0, nxy);
            k += outputs;
        }
    }
}

/* ---- the passes -------------------------------------------------------- */

template <class S>
void run_passes(const double* input, double* output, const int32_t* dimensions,
                const int32_t* taps, const double* widths)
{
    const int32_t nx = dimensions[0];
    const int32_t ny = dimensions[1];
    const int32_t nz = dimensions[2];
    /* An empty axis leaves nothing to write. */
    if (nx <= 0 || ny <= 0 || nz <= 0)
        return;

    AxisKernel kx, ky, kz;
    prepare_kernel(&kx, taps[0], widths[0]);
    prepare_kernel(&ky, taps[1], widths[1]);
    prepare_kernel(&kz, taps[2], widths[2]);

    filter_planes_xy<S>(input, output, nx, ny, kx, ky, 0, nz);
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    const ptrdiff_t chunk = z_chunk<S>(kz);
    filter_chunks_z<S>(output, nxy, nz, kz, 0, (nxy + chunk - 1) / chunk);
}

}  // namespace

#endif
