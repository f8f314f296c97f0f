/* The sums of every vector pass: one axis's kernel (AxisKernel), a run of
 * neighbouring outputs (run_outputs), and filter_1d for a block of lines
 * at once. Templates over a vector type S, which vector_sse2.h,
 * vector_avx.h, vector_avx512.h and vector_neon.h define for float and
 * for double:
 *
 *   S::T                   the element type, float or double
 *   S::V                   the vector of S::width elements
 *   zero, splat            all lanes 0, all lanes one value
 *   tap(kernel, j)         all lanes kernel tap j
 *   load, store            aligned; loadu, storeu unaligned
 *   add, mul, div          lane by lane, rounded to T
 *   transpose(V[width])    rows to columns
 *   shifted_windows        whether filter_line_interior (x_pass.h) builds
 *                          its windows with window<r>(lo, hi), the vector
 *                          r samples into lo, from aligned loads
 *
 * Every output is a sum that starts at 0 and adds the products
 * tap * sample in increasing tap order, each product and sum rounded to
 * T, exactly as filter_1d adds them (filter_line.h); an output within half a kernel
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

/* Sums kept in flight at once: enough independent additions to keep the
 * adders busy while each waits for its previous one, few enough to stay in
 * sixteen registers. */
const int sums = 8;

/* The shapes that follow from S's element type and vector width. */
template <class S>
struct Lanes {
    /* Lines filtered side by side in a block, one cache line per row:
     * eight doubles or sixteen floats. */
    static const int block = 64 / (int)sizeof(typename S::T);
    /* Neighbouring outputs computed together, each a block's row of
     * vectors wide: `sums` sums in all. */
    static const int run = sums * S::width / block;
};

inline ptrdiff_t smaller(ptrdiff_t a, ptrdiff_t b)
{
    return a < b ? a : b;
}

inline ptrdiff_t larger(ptrdiff_t a, ptrdiff_t b)
{
    return a > b ? a : b;
}

/* One axis's kernel, with the divisors of its edge outputs worked out once
 * per pass instead of once per line: they depend on the taps only. */
template <class T>
struct AxisKernel {
    ptrdiff_t count;
    ptrdiff_t half;
    const T* taps;
    /* Each tap filling a 16-byte vector: SSE2 has no one-instruction
     * broadcast from memory. */
    const T* tap_copies;
    /* lead[i] divides output i, trail[t] output n - 1 - t, for i, t < half. */
    const T* lead;
    const T* trail;
};

/* Where prepare_kernel puts a kernel's numbers: taps, tap_copies
 * (16 / sizeof(T) per tap, 16-byte aligned), lead and trail (half a kernel
 * each), and compute_gauss's doubles, which may be the taps themselves
 * when T is double. */
template <class T>
struct KernelAreas {
    T* taps;
    T* tap_copies;
    T* lead;
    T* trail;
    double* gauss;
};

/* The kernel of `count` taps for `width`: compute_gauss's doubles rounded
 * to T once, the divisors summed in T in filter_1d's order. */
template <class T>
void prepare_kernel(AxisKernel<T>* kernel, ptrdiff_t count, double width,
                    const KernelAreas<T>& areas)
{
    const int copies = 16 / (int)sizeof(T);
    compute_gauss((int32_t)count, areas.gauss, width);
    for (ptrdiff_t i = 0; i < count; ++i) {
        areas.taps[i] = static_cast<T>(areas.gauss[i]);
        for (int c = 0; c < copies; ++c)
            areas.tap_copies[copies * i + c] = areas.taps[i];
    }
    kernel->count = count;
    kernel->half = count / 2;
    const ptrdiff_t h = kernel->half;
    for (ptrdiff_t i = 0; i < h; ++i) {
        T lead = 0;
        T trail = 0;
        for (ptrdiff_t j = 0; j <= h + i; ++j) {
            lead += areas.taps[h - i + j];
            trail += areas.taps[j];
        }
        areas.lead[i] = lead;
        areas.trail[i] = trail;
    }
    kernel->taps = areas.taps;
    kernel->tap_copies = areas.tap_copies;
    kernel->lead = areas.lead;
    kernel->trail = areas.trail;
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
template <class T>
struct OutputRun {
    ptrdiff_t first;
    ptrdiff_t shift;
    ptrdiff_t begin;
    ptrdiff_t end;
    bool tail;
    const T* weights;
    ptrdiff_t weight_step;
};

template <class T>
inline OutputRun<T> output_run(ptrdiff_t n, ptrdiff_t i, ptrdiff_t R, const AxisKernel<T>& kernel)
{
    const ptrdiff_t h = kernel.half;
    const bool leading = i < h;
    const bool trailing = i >= n - h;
    const ptrdiff_t last = trailing ? n - 1 : i + R - 1 + h;
    OutputRun<T> run;
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

/* Where run_outputs finds its rows: `step` samples apart from `start` (the
 * samples of one line, or the rows of a block of lines), or through a
 * table of layers (the y and z passes), from sample `offset` of each. */
template <class T>
struct SteppedRows {
    const T* start;
    ptrdiff_t step;
    const T* operator()(ptrdiff_t s) const { return start + s * step; }
};

template <class T>
struct LayerRows {
    const T* const* layers;
    ptrdiff_t offset;
    const T* operator()(ptrdiff_t s) const { return layers[s] + offset; }
};

template <class S, bool aligned>
inline typename S::V load_row(const typename S::T* row, int g)
{
    return aligned ? S::load(row + g * S::width) : S::loadu(row + g * S::width);
}

/* The first `count` (at most 4) bytes from p, at any address, as one
 * integer with byte 0 lowest: the mask bytes of a vector's lanes, for the
 * vector types' select. (No memcpy: Microsoft's freestanding builds have
 * no string.h.) */
inline uint32_t lane_bytes(const uint8_t* p, int count)
{
    uint32_t bytes = 0;
    for (int i = 0; i < count; ++i)
        bytes |= (uint32_t)p[i] << (8 * i);
    return bytes;
}

/* Where a pass's outputs go as they are: output o's vector of lanes from
 * sample `at` of the run into out + o * stride + at. at(c) is the same
 * store from sample c of the run on; one() stores output 0's single
 * sample. Other stores (smooth_schedule.h) work on each vector the same
 * way before it is written. */
template <class S>
struct OutputStore {
    typedef typename S::T T;
    T* out;
    ptrdiff_t stride;
    OutputStore at(ptrdiff_t c) const { return OutputStore{out + c, stride}; }
    void operator()(int o, ptrdiff_t at, typename S::V sum) const
    {
        S::storeu(out + o * stride + at, sum);
    }
    void one(ptrdiff_t at, T sum) const { out[at] = sum; }
};

/* The R outputs of `run`, each G vectors of lanes wide, output o's vector g
 * through store(o, g * S::width, ...). Each row is loaded once for all R
 * outputs, and output o's tap is output o - 1's tap of the row before.
 * `edge` says whether the run lies near an end and is divided; `aligned`,
 * whether the rows lie on vector boundaries. R times G sums are
 * independent. */
template <class S, int R, int G, bool edge, bool aligned, class Rows, class Store>
inline void run_outputs(const Rows& rows, const AxisKernel<typename S::T>& kernel,
                        const OutputRun<typename S::T>& run, const Store& store)
{
    typedef typename S::T T;
    typedef typename S::V V;
    V sum[R][G];
#pragma GCC unroll 16
    for (int o = 0; o < R; ++o)
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g)
            sum[o][g] = S::zero();

    /* The first rows reach only the first outputs. */
    if (!edge || run.begin > 0)
#pragma GCC unroll 16
        for (int q = 0; q + 1 < R; ++q) {
            const T* row = rows(q);
#pragma GCC unroll 16
            for (int o = 0; o <= q; ++o) {
                const V tap = S::tap(kernel, run.shift + q - o);
#pragma GCC unroll 16
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap, load_row<S, aligned>(row, g)));
            }
        }

    V tap[R];
#pragma GCC unroll 16
    for (int o = 0; o < R; ++o)
        tap[o] = S::tap(kernel, run.shift + run.begin - o);
    for (ptrdiff_t s = run.begin;; ++s) {
        const T* row = rows(s);
        V data[G];
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g)
            data[g] = load_row<S, aligned>(row, g);
#pragma GCC unroll 16
        for (int o = 0; o < R; ++o)
#pragma GCC unroll 16
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::add(sum[o][g], S::mul(tap[o], data[g]));
        if (s == run.end)
            break;  /* no tap beyond the kernel to fetch */
#pragma GCC unroll 16
        for (int o = R - 1; o > 0; --o)
            tap[o] = tap[o - 1];
        tap[0] = S::tap(kernel, run.shift + s + 1);
    }

    /* The last rows reach only the last outputs. */
    if (!edge || run.tail)
#pragma GCC unroll 16
        for (int q = 0; q + 1 < R; ++q) {
            const ptrdiff_t s = run.end + 1 + q;
            const T* row = rows(s);
#pragma GCC unroll 16
            for (int o = q + 1; o < R; ++o) {
                const V tap_o = S::tap(kernel, run.shift + s - o);
#pragma GCC unroll 16
                for (int g = 0; g < G; ++g)
                    sum[o][g] = S::add(sum[o][g], S::mul(tap_o, load_row<S, aligned>(row, g)));
            }
        }

#pragma GCC unroll 16
    for (int o = 0; o < R; ++o) {
        if (edge) {
            const V divisor = S::splat(run.weights[o * run.weight_step]);
#pragma GCC unroll 16
            for (int g = 0; g < G; ++g)
                sum[o][g] = S::div(sum[o][g], divisor);
        }
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g)
            store(o, g * S::width, sum[o][g]);
    }
}

/* The same, output o's vector g into out + o * out_stride + g * S::width. */
template <class S, int R, int G, bool edge, bool aligned, class Rows>
inline void run_outputs(const Rows& rows, const AxisKernel<typename S::T>& kernel,
                        const OutputRun<typename S::T>& run, typename S::T* out,
                        ptrdiff_t out_stride)
{
    run_outputs<S, R, G, edge, aligned>(rows, kernel, run, OutputStore<S>{out, out_stride});
}

/* ---- blocks of lines ---------------------------------------------------- */

/* The lines lie in a block, row after row: row r holds sample r of each
 * line at lines[r * block + lane], one line per lane, and the rows lie on
 * 64-byte boundaries. Outputs i .. i + R - 1 into dst + i * dst_stride. */
template <class S, int R, bool edge>
inline void block_outputs(const typename S::T* lines, ptrdiff_t n, ptrdiff_t i,
                          const AxisKernel<typename S::T>& kernel, typename S::T* dst,
                          ptrdiff_t dst_stride)
{
    typedef typename S::T T;
    const int block = Lanes<S>::block;
    const OutputRun<T> run = output_run(n, i, R, kernel);
    const SteppedRows<T> rows = {lines + run.first * block, block};
    run_outputs<S, R, block / S::width, edge, true>(rows, kernel, run, dst + i * dst_stride,
                                                    dst_stride);
}

/* Outputs from .. to - 1 of a block of lines of n samples into
 * dst + i * dst_stride: runs of Lanes<S>::run outputs near the ends where
 * the kernel and the edges are long enough, single outputs elsewhere.
 * Every output reads only the rows its window covers, so the lines may be
 * shorter than the kernel when only outputs within half a kernel of the
 * ends are asked for. filter_x sends lines here whole only when they have
 * fewer than S::width interior outputs, so those go one at a time. */
template <class S>
void filter_outputs(const typename S::T* lines, ptrdiff_t n,
                    const AxisKernel<typename S::T>& kernel, ptrdiff_t from, ptrdiff_t to,
                    typename S::T* dst, ptrdiff_t dst_stride)
{
    const int R = Lanes<S>::run;
    const ptrdiff_t h = kernel.half;
    const bool edge_runs = h >= R;
    ptrdiff_t i = from;
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
