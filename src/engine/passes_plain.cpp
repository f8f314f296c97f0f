#include "exact_arithmetic.h"

#include <stddef.h>

#include "engine_limits.h"
#include "volume_passes.h"
#include "voxblur_engine.h"

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

extern "C" void volume_passes_plain(const double* input, double* output, const int32_t* dimensions,
                                    const int32_t* taps, const double* widths,
                                    int32_t /* threads */)
{
    double kernel[kernel_buffer_length];
    double line_in[line_buffer_length];
    double line_out[line_buffer_length];

    const int32_t nx = dimensions[0];
    const int32_t ny = dimensions[1];
    const int32_t nz = dimensions[2];
    const ptrdiff_t nxy = (ptrdiff_t)nx * ny;

    /* x lines are contiguous: filter straight from input to output. */
    compute_gauss(taps[0], kernel, widths[0]);
    for (int32_t z = 0; z < nz; ++z)
        for (int32_t y = 0; y < ny; ++y) {
            ptrdiff_t start = z * nxy + (ptrdiff_t)y * nx;
            filter_1d(input + start, output + start, nx, kernel, taps[0]);
        }

    /* y and z lines are strided: gather, filter, scatter, in place on output. */
    compute_gauss(taps[1], kernel, widths[1]);
    for (int32_t z = 0; z < nz; ++z)
        for (int32_t x = 0; x < nx; ++x) {
            double* line = output + z * nxy + x;
            gather_line(line, nx, ny, line_in);
            filter_1d(line_in, line_out, ny, kernel, taps[1]);
            scatter_line(line_out, ny, line, nx);
        }

    compute_gauss(taps[2], kernel, widths[2]);
    for (int32_t y = 0; y < ny; ++y)
        for (int32_t x = 0; x < nx; ++x) {
            double* line = output + (ptrdiff_t)y * nx + x;
            gather_line(line, nxy, nz, line_in);
            filter_1d(line_in, line_out, nz, kernel, taps[2]);
            scatter_line(line_out, nz, line, nxy);
        }
}
