/* filter_1d for eight lines at once, one line per vector lane: the line
 * filter of the vector passes, templates over the vector type S that
 * passes_simd.h describes.
 *
 * The eight lines lie in a block, row after row: row r holds sample r of
 * each line at lines[r * block + lane]. Each lane runs exactly filter_1d's
 * sequence of operations for its own line: every sum starts at 0.0 and adds
 * the products tap * sample in increasing order, each product and sum
 * rounded to double, and an output within half a kernel of either end is
 * divided by the sum of the taps it used, added in the same order.
 *
 * The loops over outputs and vectors are unrolled on request (#pragma GCC
 * unroll) so that the sums live in registers at any optimisation level. */
#ifndef VOXBLUR_BLOCK_FILTER_H
#define VOXBLUR_BLOCK_FILTER_H

#include <stddef.h>
#include <stdint.h>

#include "voxblur_engine.h"

namespace {

/* Lines filtered side by side: eight doubles, one cache line per row. */
const int block = 8;
/* gauss_filter's kernel buffer: at most 99 taps. */
const int32_t kernel_capacity = 100;

/* One axis's kernel, with the divisors of its edge outputs worked out once
 * per pass instead of once per line: they depend on the taps only. */
struct AxisKernel {
    int32_t count;
    int32_t half;
    double taps[kernel_capacity];
    /* Each tap twice: SSE2 has no one-instruction broadcast from memory. */
    alignas(16) double tap_pairs[2 * kernel_capacity];
    /* lead[i] divides output i, trail[t] output n - 1 - t, for i, t < half. */
    double lead[kernel_capacity / 2];
    double trail[kernel_capacity / 2];
};

void prepare_kernel(AxisKernel* kernel, int32_t count, double width)
{
    compute_gauss(count, kernel->taps, width);
    for (int32_t i = 0; i < count; ++i)
        kernel->tap_pairs[2 * i] = kernel->tap_pairs[2 * i + 1] = kernel->taps[i];
    kernel->count = count;
    kernel->half = count / 2;
    const int32_t h = kernel->half;
    for (int32_t i = 0; i < h; ++i) {
        double lead = 0.0;
        double trail = 0.0;
        for (int32_t j = 0; j <= h + i; ++j) {
            lead += kernel->taps[h - i + j];
            trail += kernel->taps[j];
        }
        kernel->lead[i] = lead;
        kernel->trail[i] = trail;
    }
}

/* Interior outputs i0 .. i0 + R - 1, each the sum over all taps; `first`
 * is row i0 - half. R times block / S::width sums (eight) are independent,
 * enough to keep the adders busy while each waits for its previous
 * addition. */
template <class S, int R>
inline void interior_outputs(const double* first, const AxisKernel& kernel, double* dst,
                             ptrdiff_t dst_stride)
{
    typedef typename S::V V;
    const int vectors = block / S::width;
    V sum[R][vectors];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int v = 0; v < vectors; ++v)
            sum[o][v] = S::zero();
    /* A kernel has at least one tap; saying so spares a branch the compiler
     * would otherwise turn into a memset call. */
    int32_t j = 0;
    do {
        const V tap = S::tap(kernel, j);
        const double* row = first + j * block;
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int v = 0; v < vectors; ++v)
                sum[o][v] = S::add(sum[o][v], S::mul(tap, S::load(row + o * block + v * S::width)));
    } while (++j < kernel.count);
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int v = 0; v < vectors; ++v)
            S::storeu(dst + o * dst_stride + v * S::width, sum[o][v]);
}

/* Outputs i0 .. i0 + R - 1, all within half a kernel of the same end of
 * the line. Output i0 + o adds taps[r - base - o] * row r over the rows r
 * of the line that its window covers, base being i0 - half. The outputs
 * share most rows, so each row is loaded once for all of them, and output
 * o's tap is output o - 1's tap of the row before. */
template <class S, int R>
inline void edge_outputs(const double* lines, int32_t n, int32_t i0, const AxisKernel& kernel,
                         double* dst, ptrdiff_t dst_stride)
{
    typedef typename S::V V;
    const int vectors = block / S::width;
    const bool leading = i0 < kernel.half;
    const int32_t base = i0 - kernel.half;

    V sum[R][vectors];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int v = 0; v < vectors; ++v)
            sum[o][v] = S::zero();

    /* Trailing edge: the first rows reach only the first outputs. */
    if (!leading)
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const double* row = lines + (base + q) * block;
#pragma GCC unroll 8
            for (int o = 0; o <= q; ++o) {
                const V tap = S::tap(kernel, q - o);
#pragma GCC unroll 8
                for (int v = 0; v < vectors; ++v)
                    sum[o][v] = S::add(sum[o][v], S::mul(tap, S::load(row + v * S::width)));
            }
        }

    const int32_t from = leading ? 0 : base + R - 1;
    const int32_t to = leading ? base + kernel.count - 1 : n - 1;
    V tap[R];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
        tap[o] = S::tap(kernel, from - base - o);
    for (int32_t r = from; r <= to; ++r) {
        const double* row = lines + r * block;
        V data[vectors];
#pragma GCC unroll 8
        for (int v = 0; v < vectors; ++v)
            data[v] = S::load(row + v * S::width);
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int v = 0; v < vectors; ++v)
                sum[o][v] = S::add(sum[o][v], S::mul(tap[o], data[v]));
        if (r == to)
            break;  /* no tap beyond the kernel to fetch */
#pragma GCC unroll 8
        for (int o = R - 1; o > 0; --o)
            tap[o] = tap[o - 1];
        tap[0] = S::tap(kernel, r + 1 - base);
    }

    /* Leading edge: the last rows reach only the last outputs. */
    if (leading)
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const double* row = lines + (base + kernel.count + q) * block;
#pragma GCC unroll 8
            for (int o = q + 1; o < R; ++o) {
                const V tap = S::tap(kernel, kernel.count + q - o);
#pragma GCC unroll 8
                for (int v = 0; v < vectors; ++v)
                    sum[o][v] = S::add(sum[o][v], S::mul(tap, S::load(row + v * S::width)));
            }
        }

#pragma GCC unroll 8
    for (int o = 0; o < R; ++o) {
        const int32_t i = i0 + o;
        const V weight = S::splat(leading ? kernel.lead[i] : kernel.trail[n - 1 - i]);
#pragma GCC unroll 8
        for (int v = 0; v < vectors; ++v)
            S::storeu(dst + i * dst_stride + v * S::width, S::div(sum[o][v], weight));
    }
}

/* Outputs from .. to - 1 of eight lines of n samples into
 * dst + i * dst_stride: groups of R = S::width outputs where the kernel
 * and the edges are long enough, single outputs elsewhere. Every output
 * reads only the rows its window covers, so the lines may be shorter than
 * the kernel when only outputs within half a kernel of the ends are asked
 * for. */
template <class S>
void filter_outputs(const double* lines, int32_t n, const AxisKernel& kernel, int32_t from,
                    int32_t to, double* dst, ptrdiff_t dst_stride)
{
    const int R = S::width;
    const int32_t h = kernel.half;
    const bool edge_groups = h >= R;
    int32_t i = from;
    for (; i < to && i < h; ++i)
        if (edge_groups && i + R <= h && i + R <= to) {
            edge_outputs<S, R>(lines, n, i, kernel, dst, dst_stride);
            i += R - 1;
        } else {
            edge_outputs<S, 1>(lines, n, i, kernel, dst, dst_stride);
        }
    for (; i < to && i < n - h; ++i)
        if (i + R <= n - h && i + R <= to) {
            interior_outputs<S, R>(lines + (i - h) * block, kernel, dst + i * dst_stride,
                                   dst_stride);
            i += R - 1;
        } else {
            interior_outputs<S, 1>(lines + (i - h) * block, kernel, dst + i * dst_stride,
                                   dst_stride);
        }
    for (; i < to; ++i)
        if (edge_groups && i + R <= to) {
            edge_outputs<S, R>(lines, n, i, kernel, dst, dst_stride);
            i += R - 1;
        } else {
            edge_outputs<S, 1>(lines, n, i, kernel, dst, dst_stride);
        }
}

}  // namespace

#endif
