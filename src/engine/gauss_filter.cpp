#include <stddef.h>
#include <stdio.h>

#include "mex_console.h"
#include "to_int32.h"
#include "voxblur_engine.h"

/* The line buffers hold 1024 samples, so 1023 is the longest axis. */
static const int32_t max_axis_length = 1024;
/* The kernel buffer holds 100 taps; the longest odd kernel within it is 99. */
static const int32_t kernel_capacity = 100;
static const int32_t longest_kernel = 99;

/* factor * width + 0.5 truncated, made odd and at least 3, cut to the odd
 * length that fits the axis, and capped (with a warning) at 99 taps. An
 * axis of 1 or 2 samples gets a 1-tap kernel and an empty one gets -1. */
static int32_t kernel_length(int32_t axis_length, double width, int32_t factor, char* message)
{
    int32_t k = to_int32(factor * width + 0.5);
    if (k <= 2)
        k = 3;
    else if (k % 2 == 0)
        k = k + 1;

    if (axis_length < k)
        k = axis_length % 2 != 0 ? axis_length : axis_length - 1;

    if (k > kernel_capacity) {
        sprintf(message, "WARNING gauss_filter(): Large kernel truncated ( %d > %d voxels)\n", k,
                kernel_capacity);
        mexPrintf(message);
        k = longest_kernel;
    }
    return k;
}

/* Copies the n samples at stride `stride` from `volume` into `line`. */
static void gather_line(const double* volume, ptrdiff_t stride, int32_t n, double* line)
{
    for (int32_t j = 0; j < n; ++j)
        line[j] = volume[j * stride];
}

/* Copies `line` back to the n samples at stride `stride` of `volume`. */
static void scatter_line(const double* line, int32_t n, double* volume, ptrdiff_t stride)
{
    for (int32_t j = 0; j < n; ++j)
        volume[j * stride] = line[j];
}

extern "C" int32_t gauss_filter(const double* input, double* output, const int32_t* dimensions,
                                const double* widths, int32_t factor)
{
    char message[128];
    int32_t kernel_lengths[3];
    double kernel[kernel_capacity];
    double line_in[max_axis_length];
    double line_out[max_axis_length];

    const int32_t nx = dimensions[0];
    const int32_t ny = dimensions[1];
    const int32_t nz = dimensions[2];

    int32_t largest = nx;
    if (ny > largest)
        largest = ny;
    if (nz > largest)
        largest = nz;
    if (largest >= max_axis_length) {
        sprintf(message, "gauss_filter(): Image dimension %d > %d", largest, max_axis_length);
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

    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;

    /* x lines are contiguous: filter straight from input to output. */
    compute_gauss(kernel_lengths[0], kernel, widths[0]);
    for (int32_t z = 0; z < nz; ++z)
        for (int32_t y = 0; y < ny; ++y) {
            ptrdiff_t start = z * nxy + (ptrdiff_t)y * nx;
            filter_1d(input + start, output + start, nx, kernel, kernel_lengths[0]);
        }

    /* y and z lines are strided: gather, filter, scatter, in place on output. */
    compute_gauss(kernel_lengths[1], kernel, widths[1]);
    for (int32_t z = 0; z < nz; ++z)
        for (int32_t x = 0; x < nx; ++x) {
            double* line = output + z * nxy + x;
            gather_line(line, nx, ny, line_in);
            filter_1d(line_in, line_out, ny, kernel, kernel_lengths[1]);
            scatter_line(line_out, ny, line, nx);
        }

    compute_gauss(kernel_lengths[2], kernel, widths[2]);
    for (int32_t y = 0; y < ny; ++y)
        for (int32_t x = 0; x < nx; ++x) {
            double* line = output + (ptrdiff_t)y * nx + x;
            gather_line(line, nxy, nz, line_in);
            filter_1d(line_in, line_out, nz, kernel, kernel_lengths[2]);
            scatter_line(line_out, nz, line, nxy);
        }

    return 0;
}
