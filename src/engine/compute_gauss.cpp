#include "exact_arithmetic.h"

#include <math.h>

#include "oldest_glibc.h"
#include "voxblur_engine.h"

/* 1 / (8 ln 2) to 14 significant digits: the variance of a Gaussian whose
 * FWHM is 1. Kept at this precision so kernels match the established
 * results to the last bit. */
static const double fwhm_to_variance = 0.18033688011112;

/* A zero or tiny width would make the variance 0 and every tap exp(-inf)
 * or 0/0; the floor turns it into the narrowest proper kernel instead. */
static const double min_variance = 0.0001;

extern "C" void compute_gauss(int32_t count, double* kernel, double width)
{
    double variance = width * width * fwhm_to_variance;
    if (variance < min_variance)
        variance = min_variance;
    if (count <= 0)
        return;

    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        double x = i - (count - 1) * 0.5;
        double tap = exp(-(x * x) / (2.0 * variance));
        kernel[i] = tap;
        sum += tap;
    }
    for (int32_t i = 0; i < count; ++i)
        kernel[i] = kernel[i] / sum;
}
