/* The sums of every vector pass: one axis's kernel (AxisKernel), a run of
 * neighbouring outputs (run_outputs), and filter_1d for a block of eight
 * lines at once. Templates over a vector type S, which each of
 * passes_sse2.cpp, passes_avx.cpp, passes_avx512.cpp and passes_neon.cpp
 * defines:
 *
 *   S::V                   the vector of S::width doubles (2, 4 or 8)
 *   zero, splat            all lanes 0.0, all lanes one value
 *   tap(kernel, j)         all lanes kernel tap j
 *   load, store            aligned; loadu, storeu unaligned
 *   add, mul, div          lane by lane, rounded to double
 *   transpose(V[width])    rows to columns
 *   shifted_windows        whether filter_line_interior (x_pass.h) builds
 *                          its windows with window<r>(lo, hi), the vector
 *                          r samples into lo, from aligned loads
 *
 * Every output is a sum that starts at 0.0 and adds the products
 * tap * sample in increasing tap order, each product and sum rounded to
 * double, exactly as filter_1d adds them; an output within half a kernel
 * of either end of its line is then divided by the sum of the taps it
 * used, added in the same order. The vector lanes only hold several such
 * sums side by side.
 *
 * The loops over outputs and vectors are unrolled on request (#pragma GCC
 * unroll) so that the sums live in registers at any optimisation level. */
#ifndef VOXBLUR_PASS_SUMS_H
#define VOXBLUR_PASS_SUMS_H

#include <stddef.h>
#include <stdint.h>

/* Microsoft's compiler knows no "#pragma GCC unroll" and would warn at
 * each one. */
#if defined(_MSC_VER) && !defined(__clang__)
#pragma warning(disable : 4068)
#endif

#include "engine_limits.h"
#include "voxblur_engine.h"

namespace {

/* Lines filtered side by side: eight doubles, one cache line per row. */
const int block = 8;

inline int32_t smaller(int32_t a, int32_t b)
{
    return a < b ? a : b;
}

inline int32_t larger(int32_t a, int32_t b)
{
    return a > b ? a : b;
}

/* One axis's kernel, with the divisors of its edge outputs worked out once
 * per pass instead of once per line: they depend on the taps only. */
struct AxisKernel {
    int32_t count;
    int32_t half;
    double taps[kernel_buffer_length];
    /* Each tap twice: SSE2 has no one-instruction broadcast from memory. */
    alignas(16) double tap_pairs[2 * kernel_buffer_length];
    /* lead[i] divides output i, trail[t] output n - 1 - t, for i, t < half. */
    double lead[kernel_buffer_length / 2];
    double trail[kernel_buffer_length / 2];
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

/* ---- a run of outputs -------------------------------------------------- */

/* What a run of R neighbouring outputs i .. i + R - 1 of a line of n
 * samples reads, the outputs all within half a kernel of the start, all in
 * the interior, or all within half a kernel of the end. Row s is sample
 * first + s of the line, and meets output o with tap shift + s - o. Rows
 * begin .. end reach every output; when begin is R - 1, the R - 1 rows
 * before reach only the first outputs, and when `tail`, the R - 1 rows
 * after end reach only the last ones. Near an end the rows beyond the line
 * are missing, and output o is divided by weights[o * weight_step], the sum
 * of the taps it used; in the interior weights is null. */
struct OutputRun {
    int32_t first;
    int32_t shift;
    int32_t begin;
    int32_t end;
    bool tail;
    const double* weights;
    int32_t weight_step;
};

inline OutputRun output_run(int32_t n, int32_t i, int32_t R, const AxisKernel& kernel)
{
    const int32_t h = kernel.half;
    const bool leading = i < h;
    const bool trailing = i >= n - h;
    const int32_t last = trailing ? n - 1 : i + R - 1 + h;
    OutputRun run;
    run.first = leading ? 0 : i - h;
    run.shift = run.first - (i - h);
    run.begin = leading ? 0 : R - 1;
    run.tail = !trailing;
    run.end = last - run.first - (run.tail ? R - 1 : 0);
    /* Looked up only near the ends, where the divisors exist. */
    run.weights = leading ? kernel.lead + i : trailing ? kernel.trail + (n - 1 - i) : 0;
    run.weight_step = leading ? 1 : -1;
    return run;
}

/* Where run_outputs finds its rows: `step` doubles apart from `start` (the
 * samples of one line, or the rows of a block of lines), or through a
 * table of layers (the y and z passes), from sample `offset` of each. */
struct SteppedRows {
    const double* start;
    ptrdiff_t step;
    const double* operator()(int32_t s) const { return start + s * step; }
};

struct LayerRows {
    const double* const* layers;
    ptrdiff_t offset;
    const double* operator()(int32_t s) const { return layers[s] + offset; }
};

template <class S, bool aligned>
inline typename S::V load_row(const double* row, int g)
{
    return aligned ? S::load(row + g * S::width) : S::loadu(row + g * S::width);
}

/* The R outputs of `run`, each G vectors of lanes wide, output o's vector g
 * into out + o * out_stride + g * S::width. Each row is loaded once for all
 * R outputs, and output o's tap is output o - 1's tap of the row before.
 * `edge` says whether the run lies near an end and is divided; `aligned`,
 * whether the rows lie on vector boundaries. R times G sums (eight) are
 * independent, enough to keep the adders busy while each waits for its
 * previous addition. */
template <class S, int R, int G, bool edge, bool aligned, class Rows>
inline void run_outputs(const Rows& rows, const AxisKernel& kernel, const OutputRun& run,
                        double* out, ptrdiff_t out_stride)
{
    typedef typename S::V V;
    V sum[R][G];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            sum[o][g] = S::zero();

    /* The first rows reach only the first outputs. */
    if (!edge || run.begin > 0)
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const double* row = rows(q);
#pragma GCC unroll 8
            for (int o = 0; o <= q; ++o) {
                const V tap = S::tap(kernel, run.shift + q - o);
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap, load_row<S, aligned>(row, g)));
            }
        }

    V tap[R];
#pragma GCC unroll 8
    for (int o = 0; o < R; ++o)
        tap[o] = S::tap(kernel, run.shift + run.begin - o);
    for (int32_t s = run.begin;; ++s) {
        const double* row = rows(s);
        V data[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            data[g] = load_row<S, aligned>(row, g);
#pragma GCC unroll 8
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::add(sum[o][g], S::mul(tap[o], data[g]));
        if (s == run.end)
            break;  /* no tap beyond the kernel to fetch */
#pragma GCC unroll 8
        for (int o = R - 1; o > 0; --o)
            tap[o] = tap[o - 1];
        tap[0] = S::tap(kernel, run.shift + s + 1);
    }

    /* The last rows reach only the last outputs. */
    if (!edge || run.tail)
#pragma GCC unroll 8
        for (int q = 0; q + 1 < R; ++q) {
            const int32_t s = run.end + 1 + q;
            const double* row = rows(s);
#pragma GCC unroll 8
            for (int o = q + 1; o < R; ++o) {
                const V tap_o = S::tap(kernel, run.shift + s - o);
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap_o, load_row<S, aligned>(row, g)));
            }
        }

#pragma GCC unroll 8
    for (int o = 0; o < R; ++o) {
        if (edge) {
            const V divisor = S::splat(run.weights[o * run.weight_step]);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::div(sum[o][g], divisor);
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            S::storeu(out + o * out_stride + g * S::width, sum[o][g]);
    }
}

/* ---- blocks of eight lines ---------------------------------------------- */

/* The eight lines lie in a block, row after row: row r holds sample r of
 * each line at lines[r * block + lane], one line per lane, and the rows lie
 * on 64-byte boundaries. Outputs i .. i + R - 1 into dst + i * dst_stride. */
template <class S, int R, bool edge>
inline void block_outputs(const double* lines, int32_t n, int32_t i, const AxisKernel& kernel,
                          double* dst, ptrdiff_t dst_stride)
{
    const OutputRun run = output_run(n, i, R, kernel);
    const SteppedRows rows = {lines + run.first * block, block};
    run_outputs<S, R, block / S::width, edge, true>(rows, kernel, run, dst + i * dst_stride,
                                                    dst_stride);
}

/* Outputs from .. to - 1 of eight lines of n samples into
 * dst + i * dst_stride: runs of R = S::width outputs near the ends where
 * the kernel and the edges are long enough, single outputs elsewhere. Every
 * output reads only the rows its window covers, so the lines may be
 * shorter than the kernel when only outputs within half a kernel of the
 * ends are asked for. filter_x sends lines here whole only when they have
 * fewer than S::width interior outputs, so those go one at a time. */
template <class S>
void filter_outputs(const double* lines, int32_t n, const AxisKernel& kernel, int32_t from,
                    int32_t to, double* dst, ptrdiff_t dst_stride)
{
    const int R = S::width;
    const int32_t h = kernel.half;
    const bool edge_runs = h >= R;
    int32_t i = from;
    for (; i < to && i < h; ++i)
        if (edge_runs && i + R <= h && i + R <= to) {
            block_outputs<S, R, true>(lines, n, i, kernel, dst, dst_stride);
            i += R - 1;
        } else {
            block_outputs<S, 1, true>(lines, n, i, kernel, dst, dst_stride);
        }
    for (; i < to && i < n - h; ++i)
        block_outputs<S, 1, false>(lines, n, i, kernel, dst, dst_stride);
    for (; i < to; ++i)
        if (edge_runs && i + R <= to) {
            block_outputs<S, R, true>(lines, n, i, kernel, dst, dst_stride);
            i += R - 1;
        } else {
            block_outputs<S, 1, true>(lines, n, i, kernel, dst, dst_stride);
        }
}

}  // namespace

#endif
