#include "exact_arithmetic.h"

#include <stdio.h>

#include "engine_limits.h"
#include "kernel_length.h"
#include "mex_console.h"
#include "oldest_glibc.h"
#include "to_int32.h"
#include "volume_passes.h"
#include "voxblur_engine.h"

/* factor * width + 0.5 truncated, made odd and at least 3, cut to the odd
 * length that fits the axis, and capped (with a warning) at 99 taps. An
 * axis of 1 or 2 samples gets a 1-tap kernel and an empty one gets -1. */
static int32_t kernel_length(int32_t axis_length, double width, int32_t factor, char* message)
{
    int32_t k = odd_kernel_length(to_int32(factor * width + 0.5), axis_length);
    if (k > kernel_buffer_length) {
        sprintf(message, "WARNING gauss_filter(): Large kernel truncated ( %d > %d voxels)\n", k,
                kernel_buffer_length);
        mexPrintf("%s", message);
        k = longest_kernel;
    }
    return k;
}

extern "C" int32_t gauss_filter(const double* input, double* output, const int32_t* dimensions,
                                const double* widths, int32_t factor)
{
    char message[128];
    int32_t kernel_lengths[3];

    const int32_t nx = dimensions[0];
    const int32_t ny = dimensions[1];
    const int32_t nz = dimensions[2];

    int32_t largest = nx;
    if (ny > largest)
        largest = ny;
    if (nz > largest)
        largest = nz;
    if (largest > longest_axis) {
        sprintf(message, "gauss_filter(): Image dimension %d > %d", largest, line_buffer_length);
        mexErrMsgTxt(message);
        return 1;
    }

    for (int d = 0; d < 3; ++d)
        kernel_lengths[d] = kernel_length(dimensions[d], widths[d], factor, message);
    mexPrintf("Filter kernel size (%d, %d, %d voxels)\n", kernel_lengths[0], kernel_lengths[1],
              kernel_lengths[2]);

    /* An empty volume has no line to filter. Its data pointers may be null
     * (MATLAB's are for empty arrays), and even forming a line's start from
     * a null pointer is undefined. */
    if (nx == 0 || ny == 0 || nz == 0)
        return 0;

    volume_passes(input, output, dimensions, kernel_lengths, widths);
    return 0;
}
