/* smooth_volume: settles nothing the caller has not (the kernel lengths
 * come from smooth_kernel_length) and hands the volume to the passes for
 * its result's element type. */
#include "exact_arithmetic.h"

#include "kernel_length.h"
#include "smooth_passes.h"
#include "smooth_volume.h"

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

}  // namespace

/* gauss_filter's rule without its 99-tap cap, and without the 32-bit
 * conversion that turns a width of 2^31 taps or more (an infinite one
 * among them) into 3 taps there: here such a kernel is cut to the axis,
 * the nearest a kernel of that width can come. */
extern "C" int64_t smooth_kernel_length(int64_t axis_length, double width, int32_t factor)
{
    return odd_kernel_length(truncated_length(factor * width + 0.5), axis_length);
}

extern "C" int smooth_volume(const void* input, enum voxel_class input_class, const uint8_t* mask,
                             void* output, int output_double, const int64_t* dimensions,
                             const int64_t* taps, const double* widths, int32_t threads)
{
    /* An empty volume has nothing to write, and its pointers may be null. */
    if (dimensions[0] <= 0 || dimensions[1] <= 0 || dimensions[2] <= 0)
        return smooth_done;
    const SmoothInput source = {input, input_class, mask};
    if (output_double)
        return smooth_passes_plain(source, static_cast<double*>(output), dimensions, taps,
                                   widths, threads);
    return smooth_passes_plain(source, static_cast<float*>(output), dimensions, taps, widths,
                               threads);
}
