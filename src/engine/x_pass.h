/* The x pass of the vector passes, templates over the vector type S
 * (pass_sums.h): the interior of each x line is filtered along the line,
 * the lanes holding neighbouring outputs; only the two ends of every line
 * move into blocks of lines (one cache line per row), are filtered in the
 * vector lanes and move back. The moves only copy bits. */
#ifndef VOXBLUR_X_PASS_H
#define VOXBLUR_X_PASS_H

#include <stddef.h>
#include <stdint.h>

#include "pass_sums.h"

namespace {

/* `count` (up to a block's) rows of n samples, `stride` apart, become the
 * block's lanes; lanes without a row are zero. */
template <class S>
void gather_rows(const typename S::T* rows, ptrdiff_t stride, ptrdiff_t count, ptrdiff_t n,
                 typename S::T* lines)
{
    typedef typename S::V V;
    const int W = S::width;
    const int block = Lanes<S>::block;
    ptrdiff_t x = 0;
    if (count == block)
        for (; x + W <= n; x += W)
#pragma GCC unroll 16
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
#pragma GCC unroll 16
                for (int q = 0; q < W; ++q)
                    part[q] = S::loadu(rows + (lane + q) * stride + x);
                S::transpose(part);
#pragma GCC unroll 16
                for (int q = 0; q < W; ++q)
                    S::store(lines + (x + q) * block + lane, part[q]);
            }
    for (; x < n; ++x)
#pragma GCC unroll 16
        for (int lane = 0; lane < block; ++lane)
            lines[x * block + lane] = lane < count ? rows[lane * stride + x] : 0;
}

/* The block's first `count` lanes back to rows of n samples. */
template <class S>
void scatter_rows(const typename S::T* lines, ptrdiff_t count, ptrdiff_t n,
                  typename S::T* rows, ptrdiff_t stride)
{
    typedef typename S::V V;
    const int W = S::width;
    const int block = Lanes<S>::block;
    ptrdiff_t x = 0;
    if (count == block)
        for (; x + W <= n; x += W)
#pragma GCC unroll 16
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
#pragma GCC unroll 16
                for (int q = 0; q < W; ++q)
                    part[q] = S::load(lines + (x + q) * block + lane);
                S::transpose(part);
#pragma GCC unroll 16
                for (int q = 0; q < W; ++q)
                    S::storeu(rows + (lane + q) * stride + x, part[q]);
            }
    for (; x < n; ++x)
        for (ptrdiff_t lane = 0; lane < count; ++lane)
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
inline void add_taps_from(const typename S::V* aligned, const AxisKernel<typename S::T>& kernel,
                          ptrdiff_t j, typename S::V* sum)
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
inline void aligned_line_outputs(const typename S::T* window,
                                 const AxisKernel<typename S::T>& kernel, typename S::T* out)
{
    typedef typename S::V V;
    const int W = S::width;
    V sum[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        sum[g] = S::zero();
    for (ptrdiff_t j = 0; j < kernel.count; j += W) {
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
    typedef typename S::T T;
    static ptrdiff_t outputs(const T*, T*, ptrdiff_t, const AxisKernel<T>& kernel,
                             const OutputRun<T>&)
    {
        return kernel.half;
    }
};

template <class S, int G>
struct AlignedInterior<S, G, true> {
    typedef typename S::T T;
    static ptrdiff_t outputs(const T* in, T* out, ptrdiff_t end, const AxisKernel<T>& kernel,
                             const OutputRun<T>& run)
    {
        const int W = S::width;
        const ptrdiff_t h = kernel.half;
        const ptrdiff_t lead = (ptrdiff_t)((W - (uintptr_t)in / sizeof(T) % W) % W);
        if (h + lead + G * W + W > end)
            return h;
        if (lead > 0)
            run_outputs<S, 1, 1, false, false>(SteppedRows<T>{in, 1}, kernel, run, out + h, 0);
        ptrdiff_t i = h + lead;
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
void filter_line_interior(const typename S::T* in, typename S::T* out, ptrdiff_t nx,
                          const AxisKernel<typename S::T>& kernel)
{
    typedef typename S::T T;
    const int W = S::width;
    const int G = 8;
    const ptrdiff_t h = kernel.half;
    const ptrdiff_t end = nx - h;
    const OutputRun<T> run = {0, 0, 0, kernel.count - 1, true, 0, 0};
    ptrdiff_t i = AlignedInterior<S, G>::outputs(in, out, end, kernel, run);
    for (; i + G * W <= end; i += G * W)
        run_outputs<S, 1, G, false, false>(SteppedRows<T>{in + i - h, 1}, kernel, run, out + i,
                                           0);
    for (; i + W <= end; i += W)
        run_outputs<S, 1, 1, false, false>(SteppedRows<T>{in + i - h, 1}, kernel, run, out + i,
                                           0);
    if (i < end)
        run_outputs<S, 1, 1, false, false>(SteppedRows<T>{in + end - W - h, 1}, kernel, run,
                                           out + end - W, 0);
}

/* Whether filter_x sends the lines of an x axis of nx samples through
 * blocks whole: where they have fewer interior outputs than a vector. */
template <class S>
inline bool whole_x_lines(ptrdiff_t nx, ptrdiff_t half)
{
    return nx - 2 * half < S::width;
}

/* Samples per lane of each of filter_x's two blocks, for a kernel of
 * `half` taps either side. */
template <class S>
inline ptrdiff_t x_block_length(ptrdiff_t nx, ptrdiff_t half)
{
    return whole_x_lines<S>(nx, half) ? nx : 2 * half;
}

/* The x pass of one plane of ny rows, into `out`. source.rows(y, count)
 * gives rows y .. y + count - 1 of the plane, nx samples each, one after
 * the other (the input itself, or the rows converted as they are read).
 * The interior of each line is filtered along the line itself; only the
 * 2 * half columns at either end, which the edge outputs read, are
 * transposed into blocks of lines. Lines too short for that go through
 * blocks whole. `lines` and `filtered` hold x_block_length samples of a
 * block of lines each. */
template <class S, class Rows>
void filter_x(const Rows& source, typename S::T* out, ptrdiff_t nx, ptrdiff_t ny,
              const AxisKernel<typename S::T>& kernel, typename S::T* lines,
              typename S::T* filtered)
{
    typedef typename S::T T;
    const int block = Lanes<S>::block;
    const ptrdiff_t h = kernel.half;
    for (ptrdiff_t y = 0; y < ny; y += block) {
        const ptrdiff_t rows = smaller(block, ny - y);
        const T* in_rows = source.rows(y, rows);
        T* out_rows = out + y * nx;
        if (whole_x_lines<S>(nx, h)) {
            gather_rows<S>(in_rows, nx, rows, nx, lines);
            filter_outputs<S>(lines, nx, kernel, 0, nx, filtered, block);
            scatter_rows<S>(filtered, rows, nx, out_rows, nx);
            continue;
        }
        for (ptrdiff_t r = 0; r < rows; ++r)
            filter_line_interior<S>(in_rows + r * nx, out_rows + r * nx, nx, kernel);
        if (h == 0)
            continue;
        /* Each end as a line of 2 * half samples: its outputs near that end
         * are the line's, and read no further. */
        const ptrdiff_t edge = 2 * h;
        gather_rows<S>(in_rows, nx, rows, edge, lines);
        filter_outputs<S>(lines, edge, kernel, 0, h, filtered, block);
        scatter_rows<S>(filtered, rows, h, out_rows, nx);
        gather_rows<S>(in_rows + (nx - edge), nx, rows, edge, lines);
        filter_outputs<S>(lines, edge, kernel, h, edge, filtered, block);
        scatter_rows<S>(filtered + h * block, rows, h, out_rows + (nx - h), nx);
    }
}

}  // namespace

#endif
