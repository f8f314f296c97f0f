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
 * compiled for different instruction sets, never merge into one. The y
 * pass, and the two ends of every x line, move lines into blocks of eight
 * (block_filter.h), filter them in the vector lanes and move them back; the
 * moves only copy bits. The rest of each x line is filtered along the
 * line, and the z pass adds whole runs of planes, the lanes holding
 * neighbouring z lines. */
#ifndef VOXBLUR_PASSES_SIMD_H
#define VOXBLUR_PASSES_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "block_filter.h"

namespace {

/* The longest axis gauss_filter accepts. */
const int32_t max_axis_length = 1023;
/* Two x-pass blocks of the longest axis; the y pass uses it all to gather
 * several blocks at once, the z pass for its ring of plane chunks. 128 KiB,
 * on the stack. */
const ptrdiff_t work_capacity = 2 * 1024 * block;

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
 * the first starting at `first`: the y lines of a plane. As many blocks as the work area holds are gathered at once, so
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

/* ---- z lines ---------------------------------------------------------- */

/* In the z pass the vector lanes hold neighbouring z lines, whose samples
 * lie side by side in every plane: an output plane is a sum of whole input
 * planes, with no samples to move.
 *
 * out[c .. c + G * S::width - 1], for c from `from` to `to` in steps of
 * G * S::width, of one output plane that reads `count` planes:
 * planes[t][c] meets tap first_tap + t, in increasing t as in filter_1d,
 * and the sum is divided by *weight when there is one. */
template <class S, int G>
inline void plane_outputs(const double* const* planes, int32_t count, const AxisKernel& kernel,
                          int32_t first_tap, const double* weight, ptrdiff_t from, ptrdiff_t to,
                          double* out)
{
    typedef typename S::V V;
    for (ptrdiff_t c = from; c < to; c += G * S::width) {
        V sum[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[g] = S::zero();
        int32_t t = 0;
        do {
            const V tap = S::tap(kernel, first_tap + t);
            const double* plane = planes[t] + c;
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[g] = S::add(sum[g], S::mul(tap, S::loadu(plane + g * S::width)));
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
}

/* The same for R neighbouring interior output planes at once, output o
 * into out + o * out_stride: planes[s] for s < kernel.count + R - 1 are
 * the planes they read, output o meeting plane s with tap s - o. Each plane
 * is loaded once for all R outputs, and output o's tap is output o - 1's
 * tap of the plane before. */
template <class S, int R, int G>
inline void plane_outputs_run(const double* const* planes, const AxisKernel& kernel,
                              ptrdiff_t from, ptrdiff_t to, double* out, ptrdiff_t out_stride)
{
    typedef typename S::V V;
    const int32_t count = kernel.count;
    for (ptrdiff_t c = from; c < to; c += G * S::width) {
        V sum[R][G];
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::zero();
        /* The first planes reach only the first outputs. */
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const double* plane = planes[q] + c;
#pragma GCC unroll 8
            for (int o = 0; o <= q; ++o) {
                const V tap = S::tap(kernel, q - o);
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap, S::loadu(plane + g * S::width)));
            }
        }
        V tap[R];
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
            tap[o] = S::tap(kernel, R - 1 - o);
        for (int32_t s = R - 1;; ++s) {
            const double* plane = planes[s] + c;
            V data[G];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                data[g] = S::loadu(plane + g * S::width);
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
        /* The last planes reach only the last outputs. */
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const double* plane = planes[count + q] + c;
#pragma GCC unroll 8
            for (int o = q + 1; o < R; ++o) {
                const V tap_o = S::tap(kernel, count + q - o);
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap_o, S::loadu(plane + g * S::width)));
            }
        }
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                S::storeu(out + o * out_stride + c + g * S::width, sum[o][g]);
    }
}

/* Output planes i .. i + outputs - 1 of n, `length` samples of each,
 * output i + o into out + o * out_stride: planes[t] is plane first + t of
 * the planes they read, first being max(0, i - half), and none of them is
 * an output. `outputs` is 1, or S::width interior outputs (see
 * planes_run). An output within half a kernel of either end is divided by
 * the sum of the taps it used. The last vector may overlap the one before:
 * it writes the same values again. */
template <class S>
void filter_planes(const double* const* planes, int32_t n, int32_t i, int32_t outputs,
                   const AxisKernel& kernel, ptrdiff_t length, double* out, ptrdiff_t out_stride)
{
    const int W = S::width;
    const int G = block / W;
    const ptrdiff_t vectors = length / W * W;
    if (outputs > 1) {
        const ptrdiff_t groups = length / block * block;
        plane_outputs_run<S, W, G>(planes, kernel, 0, groups, out, out_stride);
        plane_outputs_run<S, W, 1>(planes, kernel, groups, vectors, out, out_stride);
        if (vectors < length)
            plane_outputs_run<S, W, 1>(planes, kernel, length - W, length, out, out_stride);
        return;
    }
    const int32_t h = kernel.half;
    const int32_t first = larger(0, i - h);
    const int32_t count = smaller(n - 1, i + h) - first + 1;
    const int32_t first_tap = first - (i - h);
    const double* weight = i < h ? &kernel.lead[i] : i >= n - h ? &kernel.trail[n - 1 - i] : 0;
    /* A single output has only its lanes to keep the adders busy: eight
     * vectors of them at once. */
    const ptrdiff_t wide = length / (8 * W) * (8 * W);
    plane_outputs<S, 8>(planes, count, kernel, first_tap, weight, 0, wide, out);
    plane_outputs<S, 1>(planes, count, kernel, first_tap, weight, wide, vectors, out);
    if (vectors == length)
        return;
    if (length >= W) {
        plane_outputs<S, 1>(planes, count, kernel, first_tap, weight, length - W, length, out);
        return;
    }
    for (ptrdiff_t c = 0; c < length; ++c) {
        double sum = 0.0;
        for (int32_t t = 0; t < count; ++t)
            sum += kernel.taps[first_tap + t] * planes[t][c];
        out[c] = weight ? sum / *weight : sum;
    }
}

/* How many output planes from i on filter_planes computes at once, with
 * `length` samples per plane: S::width interior ones where the kernel, the
 * samples and the interior are long enough, else 1. */
template <class S>
inline int32_t planes_run(int32_t n, int32_t i, const AxisKernel& kernel, ptrdiff_t length)
{
    const int32_t h = kernel.half;
    return kernel.count >= S::width && length >= S::width && i >= h && i + S::width <= n - h
               ? S::width
               : 1;
}

/* The z pass takes each plane's samples in chunks of z_chunk(kz): half a
 * kernel and a run of output planes' worth of chunks fill the work area.
 * Runs of some thousand samples (16 KiB at 9 taps, 6 KiB at 33) keep each
 * visit to a plane long. */
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
 * Before a plane's chunk is overwritten it is saved in a ring in the work
 * area (work_capacity doubles), where the outputs after it find it. Chunks
 * are independent of each other: any split of them among callers, each
 * with its own work area, writes the same bits. */
template <class S>
void filter_chunks_z(double* volume, ptrdiff_t nxy, int32_t nz, const AxisKernel& kz,
                     ptrdiff_t chunk_begin, ptrdiff_t chunk_end, double* work)
{
    const int32_t slots = kz.half + S::width;
    const ptrdiff_t chunk = z_chunk<S>(kz);
    const double* planes[kernel_capacity + block];
    for (ptrdiff_t index = chunk_begin; index < chunk_end; ++index) {
        const ptrdiff_t c0 = index * chunk;
        const ptrdiff_t length = nxy - c0 < chunk ? nxy - c0 : chunk;
        for (int32_t k = 0; k < nz;) {
            const int32_t outputs = planes_run<S>(nz, k, kz, length);
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
                planes[p - first] =
                    p < k + outputs ? work + (p % slots) * chunk : volume + p * nxy + c0;
            filter_planes<S>(planes, nz, k, outputs, kz, length, volume + k * nxy + c0, nxy);
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

    alignas(64) double work[work_capacity];
    AxisKernel kx, ky, kz;
    prepare_kernel(&kx, taps[0], widths[0]);
    prepare_kernel(&ky, taps[1], widths[1]);
    prepare_kernel(&kz, taps[2], widths[2]);

    /* Plane by plane for x and y: plane z needs input plane z only, and the
     * y pass finds the x pass's output still in cache. */
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    for (int32_t z = 0; z < nz; ++z) {
        filter_x<S>(input + z * nxy, output + z * nxy, nx, ny, kx, work);
        filter_columns<S>(output + z * nxy, nx, ny, nx, ky, work);
    }
    const ptrdiff_t chunk = z_chunk<S>(kz);
    filter_chunks_z<S>(output, nxy, nz, kz, 0, (nxy + chunk - 1) / chunk, work);
}

}  // namespace

#endif
