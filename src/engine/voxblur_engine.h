/* The filtering engine: a separable Gaussian over a column-major double
 * volume, x fastest. Plain functions over raw arrays; the only host contact
 * is the console and error calls of the MEX interface. */
#ifndef VOXBLUR_ENGINE_H
#define VOXBLUR_ENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Fills kernel[0 .. count-1] with a centred Gaussian of the given full width
 * at half maximum (in samples), normalised to sum 1. Writes nothing when
 * count <= 0. */
void compute_gauss(int32_t count, double* kernel, double width);

/* Correlates nx samples of `in` with the nk-tap symmetric kernel into `out`.
 * Near the ends only the taps that meet real samples are used, divided by
 * their sum. Reports an error when nk > nx. */
void filter_1d(const double* in, double* out, int32_t nx, const double* kernel, int32_t nk);

/* Smooths the nx*ny*nz volume `input` into `output` (they must not overlap)
 * with one Gaussian pass per axis. widths are FWHM in voxels; factor is the
 * kernel length in FWHMs. Returns 0. An axis of 1024 or longer is reported
 * through mexErrMsgTxt, which ends the call in every host of this engine:
 * the 1 returned after it would reach only a caller whose error call
 * returns, and there is none. */
int32_t gauss_filter(const double* input, double* output, const int32_t* dimensions,
                     const double* widths, int32_t factor);

#ifdef __cplusplus
}
#endif

#endif
