#include "exact_arithmetic.h"

#include "mex_console.h"
#include "voxblur_engine.h"

/* An edge sample, where only part of the kernel meets the line: the mean of
 * in[0 .. count-1] weighted by kernel[0 .. count-1]. */
static double edge_mean(const double* in, const double* kernel, int32_t count)
{
    double sum = 0.0;
    double weight = 0.0;
    for (int32_t j = 0; j < count; ++j) {
        sum += kernel[j] * in[j];
        weight += kernel[j];
    }
    return sum / weight;
}

extern "C" void filter_1d(const double* in, double* out, int32_t nx, const double* kernel,
                          int32_t nk)
{
    if (nk > nx) {
        mexErrMsgTxt("filter_1d(): Error nk > nx!");
        return;
    }
    int32_t h = nk / 2;

    /* Leading edge: the kernel's first h - i taps would fall before in[0]. */
    for (int32_t i = 0; i < h; ++i)
        out[i] = edge_mean(in, kernel + (h - i), h + i + 1);

    /* Interior: the whole kernel, which already sums to 1. */
    for (int32_t i = h; i < nx - h; ++i) {
        const double* window = in + (i - h);
        double sum = 0.0;
        for (int32_t j = 0; j < nk; ++j)
            sum += kernel[j] * window[j];
        out[i] = sum;
    }

    /* Trailing edge: only the kernel's first nx + h - i taps meet samples. */
    for (int32_t i = nx - h; i < nx; ++i)
        out[i] = edge_mean(in + (i - h), kernel, nx + h - i);
}
