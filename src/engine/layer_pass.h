/* The y and z passes of the vector passes, templates over the vector type
 * S (pass_sums.h): whole runs of rows or planes added in place, the lanes
 * holding neighbouring lines, a chunk of every row or plane at a time. */
#ifndef VOXBLUR_LAYER_PASS_H
#define VOXBLUR_LAYER_PASS_H

#include <stddef.h>
#include <stdint.h>

#include "pass_sums.h"

namespace {

/* The y and z passes see the volume as layers: the rows of a plane or the
 * planes of the volume. The vector lanes hold neighbouring lines, whose
 * samples lie side by side in every layer, so an output layer is a sum of
 * whole input layers, with no samples to move. */

/* Samples from .. to - 1, in steps of G * S::width, of the R output layers
 * of `run`, through `store` (OutputStore, pass_sums.h). */
template <class S, int R, int G, bool edge, class Store>
inline void layer_columns(const typename S::T* const* layers,
                          const AxisKernel<typename S::T>& kernel,
                          const OutputRun<typename S::T>& run, ptrdiff_t from, ptrdiff_t to,
                          const Store& store)
{
    typedef typename S::T T;
    for (ptrdiff_t c = from; c < to; c += G * S::width)
        run_outputs<S, R, G, edge, false>(LayerRows<T>{layers, c}, kernel, run, store.at(c));
}

/* All `length` samples (at least S::width) of the R output layers of
 * `run`: `sums` sums at once, R layers of sums / R vectors, then single
 * vectors. The last vector may overlap the one before: it writes the same
 * values again. */
template <class S, int R, bool edge, class Store>
void layer_sweep(const typename S::T* const* layers, const AxisKernel<typename S::T>& kernel,
                 const OutputRun<typename S::T>& run, ptrdiff_t length, const Store& store)
{
    const int W = S::width;
    const int G = sums / R;
    const ptrdiff_t wide = length / (G * W) * (G * W);
    const ptrdiff_t vectors = length / W * W;
    layer_columns<S, R, G, edge>(layers, kernel, run, 0, wide, store);
    layer_columns<S, R, 1, edge>(layers, kernel, run, wide, vectors, store);
    if (vectors < length)
        layer_columns<S, R, 1, edge>(layers, kernel, run, length - W, length, store);
}

/* Output layers i .. i + outputs - 1 of n, `length` samples of each,
 * output i + o through `store` as its output o: layers[t] is layer
 * first + t of the layers they read, first being max(0, i - half), and
 * none of them is an output. `outputs` is 1, or Lanes<S>::run outputs that
 * all lie near the start, all in the interior or all near the end (see
 * layers_run). */
template <class S, class Store>
void filter_layers(const typename S::T* const* layers, ptrdiff_t n, ptrdiff_t i,
                   ptrdiff_t outputs, const AxisKernel<typename S::T>& kernel, ptrdiff_t length,
                   const Store& store)
{
    typedef typename S::T T;
    const int W = S::width;
    const int R = Lanes<S>::run;
    const OutputRun<T> run = output_run(n, i, outputs, kernel);
    const bool edge = run.weights != 0;
    if (length < W) {
        /* Too few samples for a vector; layers_run then gives one output. */
        for (ptrdiff_t c = 0; c < length; ++c) {
            T sum = 0;
            for (ptrdiff_t t = 0; t <= run.end; ++t)
                sum += kernel.taps[run.shift + t] * layers[t][c];
            store.one(c, edge ? sum / run.weights[0] : sum);
        }
    } else if (outputs == 1) {
        if (edge)
            layer_sweep<S, 1, true>(layers, kernel, run, length, store);
        else
            layer_sweep<S, 1, false>(layers, kernel, run, length, store);
    } else {
        if (edge)
            layer_sweep<S, R, true>(layers, kernel, run, length, store);
        else
            layer_sweep<S, R, false>(layers, kernel, run, length, store);
    }
}

/* How many output layers from i on filter_layers computes at once, with
 * `length` samples per layer: Lanes<S>::run where the kernel and the
 * samples are long enough and the outputs all lie within half a kernel of
 * the start, all in the interior or all within half a kernel of the end (a
 * kernel longer than the run has room for a run at either end), else 1. */
template <class S>
inline ptrdiff_t layers_run(ptrdiff_t n, ptrdiff_t i, const AxisKernel<typename S::T>& kernel,
                            ptrdiff_t length)
{
    const int R = Lanes<S>::run;
    const ptrdiff_t h = kernel.half;
    const ptrdiff_t last = i + R - 1;
    const bool one_part = last < h || (i >= h && last < n - h) || (i >= n - h && last < n);
    return kernel.count >= R && length >= S::width && one_part ? R : 1;
}

/* filter_chunks takes each layer in chunks of chunk_length(half,
 * capacity) samples: half a kernel and a run of output layers' worth of
 * chunks fill a work area of `capacity` samples. Runs of some thousand
 * samples (16 KiB at 9 taps, 6 KiB at 33, in gauss_filter's 128 KiB) keep
 * each visit to a plane long. At least a block's worth. */
template <class S>
inline ptrdiff_t chunk_length(ptrdiff_t half, ptrdiff_t capacity)
{
    const int block = Lanes<S>::block;
    return larger(block, capacity / (half + Lanes<S>::run) / block * block);
}

/* Samples in the ring of filter_chunks, for chunks of `chunk` samples. */
template <class S>
inline ptrdiff_t ring_length(ptrdiff_t half, ptrdiff_t chunk)
{
    return (half + Lanes<S>::run) * chunk;
}

/* Where chunk 0 would begin for chunks of `chunk` samples to begin on
 * 64-byte boundaries, at or before the first sample: vectors that
 * straddle cache lines cost the processor twice. Chunk 0 is then the
 * samples before the first boundary, and a cache line more where they are
 * fewer than a vector: a chunk that short would go sample by sample, each
 * sum waiting on the one addition before it (an array 16 bytes past a
 * cache line, as malloc gives, halved the float AVX-512 y pass). Layers
 * that lie differently from each other cannot all be served: there chunks
 * begin at 0. */
template <class S>
inline ptrdiff_t chunk_origin(const typename S::T* first, ptrdiff_t size, ptrdiff_t chunk)
{
    const int block = Lanes<S>::block;
    ptrdiff_t lead =
        (block - (ptrdiff_t)((uintptr_t)first / sizeof(typename S::T) % block)) % block;
    if (lead > 0 && lead < S::width && lead + block <= chunk)
        lead += block;
    return size % block == 0 && lead > 0 ? lead - chunk : 0;
}

/* Chunks of `extent` samples of layers `size` apart from `first`. */
template <class S>
inline ptrdiff_t chunk_count(const typename S::T* first, ptrdiff_t size, ptrdiff_t extent,
                             ptrdiff_t chunk)
{
    return (extent - chunk_origin<S>(first, size, chunk) + chunk - 1) / chunk;
}

template <class S>
inline ptrdiff_t chunk_count(const typename S::T* first, ptrdiff_t size, ptrdiff_t chunk)
{
    return chunk_count<S>(first, size, size, chunk);
}

/* filter_chunks' outputs written over the layers they come from, as the
 * y and z passes write them: output layer i of the chunk from sample c0 at
 * first + i * size + c0. store(i, outputs, c0, length, layers) is the
 * store for outputs i .. i + outputs - 1 of the chunk of `length` samples
 * from c0; a store that needs work done first (smooth_schedule.h) may do
 * it there, with `layers` as its own table until filter_chunks fills it. */
template <class S>
struct InPlace {
    typedef typename S::T T;
    T* first;
    ptrdiff_t size;
    OutputStore<S> store(ptrdiff_t i, ptrdiff_t, ptrdiff_t c0, ptrdiff_t, const T**) const
    {
        return OutputStore<S>{first + i * size + c0, size};
    }
};

/* The y or z pass in place on chunks chunk_begin .. chunk_end - 1 (of
 * chunk_count) of the first `extent` samples of n layers `size` samples
 * apart from `first`: a chunk of every layer in turn, from the first layer
 * to the last. Each output reads the chunks of the layers within half a kernel,
 * which stay in cache from one output to the next, so the layers are read
 * once and written once, in runs of whole chunks. Before a layer's chunk
 * is overwritten it is saved in `ring` (ring_length samples, on a cache
 * line), where the outputs after it find it; `layers` has room for a
 * kernel and a run of pointers. `into` gives each run of outputs its
 * store (InPlace, above). Chunks are independent of each other: any split
 * of them among callers, each with its own ring and table, writes the same
 * bits. */
template <class S, class Into>
void filter_chunks(typename S::T* first, ptrdiff_t size, ptrdiff_t extent, ptrdiff_t n,
                   const AxisKernel<typename S::T>& kernel, ptrdiff_t chunk,
                   ptrdiff_t chunk_begin, ptrdiff_t chunk_end, typename S::T* ring,
                   const typename S::T** layers, const Into& into)
{
    typedef typename S::T T;
    const ptrdiff_t slots = kernel.half + Lanes<S>::run;
    const ptrdiff_t origin = chunk_origin<S>(first, size, chunk);
    for (ptrdiff_t index = chunk_begin; index < chunk_end; ++index) {
        const ptrdiff_t start = origin + index * chunk;
        const ptrdiff_t c0 = start > 0 ? start : 0;
        const ptrdiff_t length = (start + chunk < extent ? start + chunk : extent) - c0;
        for (ptrdiff_t i = 0; i < n;) {
            const ptrdiff_t outputs = layers_run<S>(n, i, kernel, length);
            for (ptrdiff_t l = i; l < i + outputs; ++l) {
                const T* layer = first + l * size + c0;
                T* saved = ring + (l % slots) * chunk;
                ptrdiff_t c = 0;
                for (; c + S::width <= length; c += S::width)
                    S::store(saved + c, S::loadu(layer + c));
                for (; c < length; ++c)
                    saved[c] = layer[c];
            }
            const auto store = into.store(i, outputs, c0, length, layers);
            const ptrdiff_t from = larger(0, i - kernel.half);
            const ptrdiff_t to = smaller(n - 1, i + outputs - 1 + kernel.half);
            for (ptrdiff_t l = from; l <= to; ++l)
                layers[l - from] =
                    l < i + outputs ? ring + (l % slots) * chunk : first + l * size + c0;
            filter_layers<S>(layers, n, i, outputs, kernel, length, store);
            i += outputs;
        }
    }
}

}  // namespace

#endif
