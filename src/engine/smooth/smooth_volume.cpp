/* smooth_volume: settles nothing the caller has not (the kernel lengths
 * come from smooth_kernel_length) and hands the volume to the fastest
 * passes this processor has for its result's element type. */
#include "exact_arithmetic.h"

#include "engine_limits.h"
#include "kernel_length.h"
#include "smooth_passes.h"
#include "smooth_volume.h"
#include "smooth_work.h"
#include "volume_passes.h"

namespace {

/* factor * width + 0.5 truncated toward zero, saturated: NaN and anything
 * below the 64-bit range count as short (made 3 taps below), anything above
 * it as longer than any axis. */
int64_t truncated_length(double value)
{
    if (!(value > -9223372036854775808.0))
        return INT64_MIN;
    if (!(value < 9223372036854775808.0))
        return INT64_MAX;
    return (int64_t)value;
}

/* Below about this many voxels per thread, starting and joining the thread
 * costs more than its share of the work saves (as for volume_passes). */
const int64_t voxels_per_thread = (int64_t)1 << 15;

int32_t threads_worth(const int64_t* dimensions, int32_t threads)
{
    const int64_t worth =
        times(times(dimensions[0], dimensions[1]), dimensions[2]) / voxels_per_thread;
    if (threads < 1)
        threads = 1;
    return worth < threads ? (worth > 1 ? (int32_t)worth : 1) : threads;
}

/* The variant volume_passes would choose for these kernels (its rule,
 * taking a kernel beyond gauss_filter's cap as capped: from 45 taps in all
 * every kernel length chooses alike), else the plain passes. */
template <class T>
int fastest_passes_for(const SmoothInput& input, T* output, const int64_t* dimensions,
                       const int64_t* taps, const double* widths, int32_t threads,
                       const MaskedMean<T>* mean)
{
#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
    int32_t capped[3];
    for (int d = 0; d < 3; ++d)
        capped[d] = taps[d] < longest_kernel ? (int32_t)taps[d] : longest_kernel;
    const struct cpu_record cpu = read_processor();
    switch (choose_passes(&cpu, capped)) {
#if VOXBLUR_VECTORS_X86_64
    case passes_avx512:
        return smooth_passes_avx512(input, output, dimensions, taps, widths, threads, mean);
    case passes_avx:
        return smooth_passes_avx(input, output, dimensions, taps, widths, threads, mean);
    case passes_sse2:
        return smooth_passes_sse2(input, output, dimensions, taps, widths, threads, mean);
#else
    case passes_neon:
        return smooth_passes_neon(input, output, dimensions, taps, widths, threads, mean);
#endif
    default:
        break;
    }
#endif
    return smooth_passes_plain(input, output, dimensions, taps, widths, threads, mean);
}

}  // namespace

/* gauss_filter's rule without its 99-tap cap, and without the 32-bit
 * conversion that turns a width of 2^31 taps or more (an infinite one
 * among them) into 3 taps there: here such a kernel is cut to the axis,
 * the nearest a kernel of that width can come. */
extern "C" int64_t smooth_kernel_length(int64_t axis_length, double width, int32_t factor)
{
    return odd_kernel_length(truncated_length(factor * width + 0.5), axis_length);
}

int smooth_mean(const void* input, enum voxel_class input_class, const uint8_t* mask,
                void* output, int output_double, const int64_t* dimensions,
                const int64_t* taps, const double* widths, int32_t threads, bool mean,
                const void* smoothed)
{
    /* An empty volume has nothing to write, and its pointers may be null. */
    if (dimensions[0] <= 0 || dimensions[1] <= 0 || dimensions[2] <= 0)
        return smooth_done;
    /* More voxels than the address space holds in doubles: no such volume
     * is in memory, and the passes' offsets would overflow. */
    if (times(times(dimensions[0], dimensions[1]), dimensions[2]) > INT64_MAX / 8)
        return smooth_out_of_memory;
    const SmoothInput source = {input, input_class, mask};
    threads = threads_worth(dimensions, threads);
    const bool masked_mean = mean && mask;
    if (output_double) {
        const MaskedMean<double> by = {static_cast<const double*>(smoothed)};
        return fastest_passes_for(source, static_cast<double*>(output), dimensions, taps, widths,
                                  threads, masked_mean ? &by : nullptr);
    }
    const MaskedMean<float> by = {static_cast<const float*>(smoothed)};
    return fastest_passes_for(source, static_cast<float*>(output), dimensions, taps, widths,
                              threads, masked_mean ? &by : nullptr);
}

extern "C" int smooth_volume(const void* input, enum voxel_class input_class, const uint8_t* mask,
                             void* output, int output_double, const int64_t* dimensions,
                             const int64_t* taps, const double* widths, int32_t threads)
{
    return smooth_mean(input, input_class, mask, output, output_double, dimensions, taps, widths,
                       threads, false, nullptr);
}
