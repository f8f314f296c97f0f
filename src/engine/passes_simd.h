/* The body of the vector passes, shared by passes_sse2.cpp and
 * passes_avx.cpp. Each defines a vector type S (its width, loads, stores,
 * add, mul, div, transpose) and includes this file; everything here has
 * internal linkage, so the SSE2 and the AVX copies never merge into one.
 *
 * Why the result is bit for bit that of filter_1d: the vector lanes hold
 * eight different lines, never neighbouring outputs of one line, so every
 * lane runs exactly filter_1d's sequence of operations for its own line:
 * the sum starts at 0.0, the taps are added in increasing order, each
 * product and each sum is rounded to double, and an edge output is divided
 * by the sum of its taps, added in the same order. Gathers, scatters and
 * transposes only move bits. */
#ifndef VOXBLUR_PASSES_SIMD_H
#define VOXBLUR_PASSES_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "voxblur_engine.h"

namespace {

/* Lines filtered side by side: eight doubles, one cache line per row. */
const int block = 8;
/* The longest axis gauss_filter accepts, and its kernel buffer's size. */
const int32_t max_axis_length = 1023;
const int32_t kernel_capacity = 100;
/* Two x-pass line blocks of the longest axis; the z pass uses it all for
 * wider gathers. 128 KiB, on the stack. */
const ptrdiff_t work_capacity = 2 * 1024 * block;

/* One axis's kernel with the divisors of its edge outputs worked out once
 * per pass instead of once per line: they depend on the taps only. */
struct AxisKernel {
    int32_t count;
    int32_t half;
    double taps[kernel_capacity];
    /* lead[i] divides output i, trail[t] output n - 1 - t, for i, t < half. */
    double lead[kernel_capacity / 2];
    double trail[kernel_capacity / 2];
};

void prepare_kernel(AxisKernel* kernel, int32_t count, double width)
{
    compute_gauss(count, kernel->taps, width);
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

inline int32_t smaller(int32_t a, int32_t b)
{
    return a < b ? a : b;
}

/* ---- the line filter over a block of eight lines -----------------------
 * `lines` holds row j of the block (sample j of all eight lines) at
 * lines[j * block]; output row i goes to dst + i * dst_stride. */

/* R consecutive interior rows at once: R times block / S::width independent
 * sums (eight), enough to keep the adder busy while each waits for its
 * previous addition. */
template <class S, int R>
inline void interior_rows(const double* first, double* dst, ptrdiff_t dst_stride,
                          const AxisKernel& kernel)
{
    typedef typename S::V V;
    const int vectors = block / S::width;
    V sum[R][vectors];
    for (int r = 0; r < R; ++r)
        for (int v = 0; v < vectors; ++v)
            sum[r][v] = S::zero();
    for (int32_t j = 0; j < kernel.count; ++j) {
        const V tap = S::splat(kernel.taps[j]);
        const double* row = first + j * block;
        for (int r = 0; r < R; ++r)
            for (int v = 0; v < vectors; ++v)
                sum[r][v] = S::add(sum[r][v], S::mul(tap, S::load(row + r * block + v * S::width)));
    }
    for (int r = 0; r < R; ++r)
        for (int v = 0; v < vectors; ++v)
            S::storeu(dst + r * dst_stride + v * S::width, sum[r][v]);
}

/* One row within half a kernel of an end: `count` taps from `taps` against
 * `count` rows from `first`, divided by the sum of those taps. */
template <class S>
inline void edge_row(const double* first, const double* taps, int32_t count, double divisor,
                     double* dst)
{
    typedef typename S::V V;
    const int vectors = block / S::width;
    V sum[vectors];
    for (int v = 0; v < vectors; ++v)
        sum[v] = S::zero();
    for (int32_t j = 0; j < count; ++j) {
        const V tap = S::splat(taps[j]);
        for (int v = 0; v < vectors; ++v)
            sum[v] = S::add(sum[v], S::mul(tap, S::load(first + j * block + v * S::width)));
    }
    const V weight = S::splat(divisor);
    for (int v = 0; v < vectors; ++v)
        S::storeu(dst + v * S::width, S::div(sum[v], weight));
}

/* filter_1d for eight lines of n samples; the kernel fits the lines. */
template <class S>
void filter_block(const double* lines, double* dst, ptrdiff_t dst_stride, int32_t n,
                  const AxisKernel& kernel)
{
    const int32_t h = kernel.half;
    const int R = S::width;
    for (int32_t i = 0; i < h; ++i)
        edge_row<S>(lines, kernel.taps + (h - i), h + i + 1, kernel.lead[i], dst + i * dst_stride);
    int32_t i = h;
    for (; i + R <= n - h; i += R)
        interior_rows<S, R>(lines + (i - h) * block, dst + i * dst_stride, dst_stride, kernel);
    for (; i < n - h; ++i)
        interior_rows<S, 1>(lines + (i - h) * block, dst + i * dst_stride, dst_stride, kernel);
    for (; i < n; ++i) {
        const int32_t t = n - 1 - i;
        edge_row<S>(lines + (i - h) * block, kernel.taps, h + t + 1, kernel.trail[t],
                    dst + i * dst_stride);
    }
}

/* ---- moving lines between a volume and a block ------------------------- */

/* x lines: `count` (up to eight) rows of n samples, `stride` apart, become
 * the block's lanes; lanes without a row are zero. */
template <class S>
void gather_rows(const double* rows, ptrdiff_t stride, int32_t count, int32_t n, double* lines)
{
    typedef typename S::V V;
    const int W = S::width;
    int32_t x = 0;
    if (count == block)
        for (; x + W <= n; x += W)
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
                for (int q = 0; q < W; ++q)
                    part[q] = S::loadu(rows + (lane + q) * stride + x);
                S::transpose(part);
                for (int q = 0; q < W; ++q)
                    S::store(lines + (x + q) * block + lane, part[q]);
            }
    for (; x < n; ++x)
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
            for (int lane = 0; lane < block; lane += W) {
                V part[W];
                for (int q = 0; q < W; ++q)
                    part[q] = S::load(lines + (x + q) * block + lane);
                S::transpose(part);
                for (int q = 0; q < W; ++q)
                    S::storeu(rows + (lane + q) * stride + x, part[q]);
            }
    for (; x < n; ++x)
        for (int lane = 0; lane < count; ++lane)
            rows[lane * stride + x] = lines[x * block + lane];
}

/* y and z lines: `count` (up to eight) adjacent samples of the volume form
 * one row of a block; lanes beyond them are zero. */
template <class S>
inline void copy_columns_in(const double* columns, int32_t count, double* row)
{
    if (count == block) {
        for (int v = 0; v < block; v += S::width)
            S::store(row + v, S::loadu(columns + v));
        return;
    }
    for (int lane = 0; lane < block; ++lane)
        row[lane] = lane < count ? columns[lane] : 0.0;
}

/* Filters a block of `count` y or z lines straight into the volume, or
 * through `scratch` when the block is not full. */
template <class S>
void filter_into_columns(const double* lines, int32_t count, int32_t n, const AxisKernel& kernel,
                         double* columns, ptrdiff_t stride, double* scratch)
{
    if (count == block) {
        filter_block<S>(lines, columns, stride, n, kernel);
        return;
    }
    filter_block<S>(lines, scratch, block, n, kernel);
    for (int32_t j = 0; j < n; ++j)
        for (int lane = 0; lane < count; ++lane)
            columns[j * stride + lane] = scratch[j * block + lane];
}

/* ---- the passes -------------------------------------------------------- */

/* The x and y passes of one plane: plane z depends on input plane z only,
 * and the y pass finds the x pass's output still in cache. */
template <class S>
void filter_plane_xy(const double* in, double* out, int32_t nx, int32_t ny, const AxisKernel& kx,
                     const AxisKernel& ky, double* work)
{
    double* lines = work;
    double* filtered = work + (max_axis_length + 1) * block;
    for (int32_t y = 0; y < ny; y += block) {
        const int32_t rows = smaller(block, ny - y);
        gather_rows<S>(in + (ptrdiff_t)y * nx, nx, rows, nx, lines);
        filter_block<S>(lines, filtered, block, nx, kx);
        scatter_rows<S>(filtered, rows, nx, out + (ptrdiff_t)y * nx, nx);
    }
    for (int32_t x = 0; x < nx; x += block) {
        const int32_t columns = smaller(block, nx - x);
        for (int32_t y = 0; y < ny; ++y)
            copy_columns_in<S>(out + (ptrdiff_t)y * nx + x, columns, lines + y * block);
        filter_into_columns<S>(lines, columns, ny, ky, out + x, nx, filtered);
    }
}

/* The z pass, in place. Each gather takes as many blocks of adjacent
 * columns as the work area holds, so that every plane is read in runs of
 * several cache lines; one block's room is kept as scratch. */
template <class S>
void filter_z(double* volume, int32_t nx, int32_t ny, int32_t nz, const AxisKernel& kz,
              double* work)
{
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    const ptrdiff_t block_size = (ptrdiff_t)nz * block;
    const int32_t blocks_per_gather = (int32_t)(work_capacity / block_size) - 1;
    double* scratch = work + blocks_per_gather * block_size;
    for (int32_t y = 0; y < ny; ++y) {
        double* row = volume + (ptrdiff_t)y * nx;
        for (int32_t x = 0; x < nx; x += blocks_per_gather * block) {
            const int32_t width = smaller(blocks_per_gather * block, nx - x);
            for (int32_t z = 0; z < nz; ++z)
                for (int32_t b = 0; b * block < width; ++b)
                    copy_columns_in<S>(row + z * nxy + x + b * block,
                                       smaller(block, width - b * block),
                                       work + b * block_size + z * block);
            for (int32_t b = 0; b * block < width; ++b)
                filter_into_columns<S>(work + b * block_size, smaller(block, width - b * block),
                                       nz, kz, row + x + b * block, nxy, scratch);
        }
    }
}

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

    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;
    for (int32_t z = 0; z < nz; ++z)
        filter_plane_xy<S>(input + z * nxy, output + z * nxy, nx, ny, kx, ky, work);
    filter_z<S>(output, nx, ny, nz, kz, work);
}

}  // namespace

#endif
