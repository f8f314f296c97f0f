#include "exact_arithmetic.h"

#include <stddef.h>
#include <stdlib.h>

#include "huge_pages.h"
#include "oldest_glibc.h"

#include "smooth_passes.h"
#include "smooth_volume.h"
#include "threads.h"

/* A series of volumes through smooth_volume, with or without a mask. How
 * the cores are shared is decided here and nowhere else: small volumes go
 * to the threads whole, each thread smoothing its share of the series on
 * its own; a large one (or a series of one) is smoothed one volume at a
 * time with every thread in its passes. Either way each volume's bits are
 * those of a single call. */

namespace {

/* Volumes of at most this many voxels are shared out whole: each one's
 * passes are too short to repay starting threads for them, and several
 * such volumes fit the caches of several cores at once. */
const int64_t small_volume_voxels = (int64_t)1 << 21;

size_t class_bytes(enum voxel_class input_class)
{
    switch (input_class) {
    case voxel_double:
    case voxel_int64:
    case voxel_uint64:
        return 8;
    case voxel_single:
    case voxel_int32:
    case voxel_uint32:
        return 4;
    case voxel_int16:
    case voxel_uint16:
        return 2;
    default:
        return 1;
    }
}

struct Series {
    const smooth_request* request;
    int64_t taps[3];
    int64_t voxels;
    size_t input_bytes;
    size_t output_bytes;
    bool output_double;
    /* The smoothed mask of a one-volume mask that serves several volumes,
     * smoothed once. */
    void* shared_weights;
    int32_t parts;
    int32_t threads_per_volume;
    int status[max_threads];
};

const uint8_t* mask_of(const Series& series, int64_t volume)
{
    const smooth_request& r = *series.request;
    if (!r.mask)
        return 0;
    return r.mask_every_volume ? r.mask + volume * series.voxels : r.mask;
}

/* The smoothed mask into `weights`, which a mask voxel divides by. */
int smooth_mask(const Series& series, const uint8_t* mask, void* weights, int32_t threads)
{
    const smooth_request& r = *series.request;
    return smooth_volume(mask, voxel_logical, 0, weights, series.output_double, r.dimensions,
                         series.taps, r.widths, threads);
}

/* One volume of the series on `threads` threads; with a mask, its masked
 * mean, the mask smoothed beside the data unless it is smoothed for the
 * whole series already. A voxel of the mask reaches itself with the
 * kernel's largest tap, so its weight is never 0; a voxel outside it is
 * NaN whatever its weight came to, which also covers every voxel with no
 * voxel of the mask in reach. */
int smooth_one(const Series& series, int64_t volume, int32_t threads)
{
    const smooth_request& r = *series.request;
    const char* input = (const char*)r.input + volume * series.voxels * series.input_bytes;
    void* output = (char*)r.output + volume * series.voxels * series.output_bytes;
    const uint8_t* mask = mask_of(series, volume);
    return smooth_mean(input, r.input_class, mask, output, series.output_double, r.dimensions,
                       series.taps, r.widths, threads, mask != 0, series.shared_weights);
}

/* A part's share of a series of small volumes: a run of consecutive ones,
 * so that each thread's results lie in a span of their own. The kernel
 * maps and clears a result's fresh pages as they are first written, a
 * huge page at a time where it can: parts writing every other volume of
 * one span both fault on the same pages and wait on each other there. */
void smooth_share(void* context, int32_t part)
{
    Series& series = *static_cast<Series*>(context);
    const int64_t volumes = series.request->volumes;
    const int64_t end = volumes * (part + 1) / series.parts;
    for (int64_t v = volumes * part / series.parts; v < end; ++v) {
        series.status[part] = smooth_one(series, v, 1);
        if (series.status[part] != smooth_done)
            return;
    }
}

}  // namespace

extern "C" int smooth_volumes(const struct smooth_request* request)
{
    Series series = {};
    series.request = request;
    series.voxels = request->dimensions[0] * request->dimensions[1] * request->dimensions[2];
    if (series.voxels == 0 || request->volumes == 0)
        return smooth_done;
    for (int d = 0; d < 3; ++d)
        series.taps[d] = smooth_kernel_length(request->dimensions[d], request->widths[d],
                                              request->factor);
    series.output_double = request->input_class == voxel_double;
    series.input_bytes = class_bytes(request->input_class);
    series.output_bytes = series.output_double ? sizeof(double) : sizeof(float);

    int32_t threads = request->threads > 0 ? request->threads : threads_available();
    if (threads > max_threads)
        threads = max_threads;
    const bool by_volume = request->volumes > 1 && series.voxels <= small_volume_voxels;
    series.parts = 1;
    series.threads_per_volume = threads;
    if (by_volume) {
        series.parts = request->volumes < threads ? (int32_t)request->volumes : threads;
        series.threads_per_volume = 1;
    }

    /* A one-volume mask that serves several volumes is smoothed once, into
     * a volume of its own; every other mask beside its volume's data. */
    const size_t volume_bytes = (size_t)series.voxels * series.output_bytes;
    void* allocated = 0;
    if (request->mask && !request->mask_every_volume && request->volumes > 1) {
        void* room = huge_page_block(volume_bytes, &allocated);
        if (!room)
            return smooth_out_of_memory;
        series.shared_weights = room;
        if (smooth_mask(series, request->mask, room, threads) != smooth_done) {
            free(allocated);
            return smooth_out_of_memory;
        }
    }

    int status = smooth_done;
    if (by_volume) {
        run_in_threads(series.parts, smooth_share, &series);
        for (int32_t p = 0; p < series.parts; ++p)
            if (series.status[p] != smooth_done)
                status = series.status[p];
    } else {
        for (int64_t v = 0; v < request->volumes && status == smooth_done; ++v)
            status = smooth_one(series, v, threads);
    }
    free(allocated);
    return status;
}
